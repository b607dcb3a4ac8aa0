// The inputs the rules call, between them and the seam's raw ones: passed through live, kept
// for a recording, or taken from a replay.
#include "console/inputs.h"

#include <algorithm>

#include "console/platform.h"

namespace {

enum class Mode { live, recording, replaying };
Mode mode = Mode::live;
const unsigned char* screen = nullptr;

constexpr int watch_ms = 20; // how often a paced replay looks at the keyboard

// FNV-1a of the whole buffer, folded to 16 bits: short to write, and a drift that lasts is
// caught on one of the next frames should one change slip through.
std::uint16_t screen_checksum() {
    std::uint32_t hash = 2166136261u;
    for (int i = 0; i < screen_rows * screen_cols; ++i) hash = (hash ^ screen[i]) * 16777619u;
    return static_cast<std::uint16_t>(hash ^ hash >> 16);
}

// ---- recording -----------------------------------------------------------------------------

// The frame being taken, and the one before it, not yet on the tape: the next may repeat it.
struct Recording {
    Tape tape;
    TapFrame frame, last;
    bool have_last = false;
    std::int64_t clock = 0;
    std::uint16_t checksum = 0;
    bool checked = false;
};
Recording rec;

void add(char kind, std::int64_t value) {
    rec.frame.inputs.push_back({kind, value});
}

bool same_frame(const TapFrame& a, const TapFrame& b) {
    return a.checked == b.checked && a.checksum == b.checksum &&
           std::equal(a.inputs.begin(), a.inputs.end(), b.inputs.begin(), b.inputs.end(),
                      [](const TapInput& x, const TapInput& y) {
                          return x.kind == y.kind && x.value == y.value;
                      });
}

// A frame like the one before it only adds to that one's run.
void end_recorded_frame() {
    std::uint16_t sum = screen_checksum();
    TapFrame& frame = rec.frame;
    frame.checked = !rec.checked || sum != rec.checksum;
    frame.checksum = frame.checked ? sum : 0;
    rec.checksum = sum;
    rec.checked = true;
    if (rec.have_last && same_frame(rec.last, frame)) {
        ++rec.last.repeats;
    } else {
        if (rec.have_last) append_frame(rec.tape, rec.last);
        std::swap(rec.last, frame);
        rec.have_last = true;
    }
    frame.inputs.clear();
    frame.repeats = 1;
}

// ---- replaying -----------------------------------------------------------------------------

struct Playback {
    const Tape* tape = nullptr;
    std::size_t at = 0;   // on the tape: the frame after the one being played
    TapFrame frame;       // the one being played
    long index = 0;       // of it, among the tape's frames
    long repeat = 0;      // of its repeats
    std::size_t next = 0; // of its inputs
    long long frame_number = 0;
    std::int64_t clock = 0;
    std::uint16_t checksum = 0;
    bool checked = false;
    int speed = 1;
    bool paced = false; // the first clock reading has set the origins
    std::int64_t real_origin = 0, recorded_origin = 0;
};
Playback play;

[[noreturn]] void drift(const std::string& what) {
    throw ReplayFault{"the game drifts from the recording at frame " +
                      std::to_string(play.frame_number) + " (line " +
                      std::to_string(play.tape->first_line + play.index) + "): " + what};
}

const char* input_name(char kind) {
    switch (kind) {
    case '+':
        return "a key test";
    case 'k':
        return "a key code";
    case 't':
        return "a clock reading";
    case 'r':
        return "a random number";
    default:
        return "the generator's seeding";
    }
}

bool at_last_frame() {
    return play.index + 1 == play.tape->frames && play.repeat + 1 == play.frame.repeats;
}

// The game wants an input the frame does not hold: where a signal ended the recorded game,
// this is where it ended; anywhere else the game has gone its own way.
[[noreturn]] void out_of_inputs(const char* wanted) {
    if (at_last_frame() && play.tape->ending == "signal") throw ReplayStopped{play.tape->signal};
    drift(std::string("the game takes ") + wanted + " the frame does not hold");
}

// Escape on the real keyboard stops the replay; other keys mean nothing to it.
void watch_keyboard() {
    while (raw_key_waiting())
        if (raw_read_key() == key_escape) throw ReplayStopped{0};
}

void wait_real(std::int64_t ms) {
    while (ms > 0) {
        std::int64_t step = std::min<std::int64_t>(ms, watch_ms);
        raw_sleep_ms(static_cast<int>(step));
        ms -= step;
        watch_keyboard();
    }
}

// Holds the game back until as much real time has gone, times the speed, as had gone on the
// recorded clock by `recorded`.
void pace(std::int64_t recorded) {
    if (play.speed == 0) return;
    if (!play.paced) {
        play.paced = true;
        play.real_origin = raw_clock_ms();
        play.recorded_origin = recorded;
    }
    for (;;) {
        std::int64_t due = (recorded - play.recorded_origin) / play.speed;
        std::int64_t late = due - (raw_clock_ms() - play.real_origin);
        if (late <= 0) return;
        wait_real(std::min<std::int64_t>(late, watch_ms));
    }
}

std::int64_t take(char kind) {
    if (play.next >= play.frame.inputs.size()) out_of_inputs(input_name(kind));
    const TapInput& input = play.frame.inputs[play.next];
    if (input.kind != kind)
        drift(std::string("the game takes ") + input_name(kind) + " where the file has " +
              input_name(input.kind));
    ++play.next;
    return input.value;
}

// The frame is over: all of its inputs taken and the screen as recorded.
void end_played_frame() {
    const TapFrame& frame = play.frame;
    if (play.next < frame.inputs.size())
        drift(std::string("the game goes on without ") + input_name(frame.inputs[play.next].kind) +
              " the file holds");
    std::uint16_t expected = frame.checked ? frame.checksum : play.checksum;
    if ((frame.checked || play.checked) && screen_checksum() != expected)
        drift("the screen is not the one recorded");
    play.checksum = expected;
    play.checked = play.checked || frame.checked;
}

bool replayed_key_waiting() {
    watch_keyboard();
    end_played_frame();
    if (at_last_frame()) {
        if (play.tape->ending == "signal") throw ReplayStopped{play.tape->signal};
        drift("the game goes on past the recording's end");
    }
    if (++play.repeat == play.frame.repeats) {
        next_frame(*play.tape, play.at, play.frame);
        ++play.index;
        play.repeat = 0;
    }
    play.next = 0;
    ++play.frame_number;
    const TapFrame& frame = play.frame;
    if (!frame.inputs.empty() && frame.inputs.front().kind == '+') {
        play.next = 1;
        return true;
    }
    return false;
}

} // namespace

// ---- the inputs as the rules take them -----------------------------------------------------

bool key_waiting() {
    if (mode == Mode::replaying) return replayed_key_waiting();
    if (mode == Mode::recording) end_recorded_frame();
    bool waiting = raw_key_waiting();
    if (mode == Mode::recording && waiting) add('+', 0);
    return waiting;
}

int read_key() {
    if (mode == Mode::replaying) return static_cast<int>(take('k'));
    int code = raw_read_key();
    if (mode == Mode::recording) add('k', code);
    return code;
}

std::int64_t clock_ms() {
    if (mode == Mode::replaying) {
        play.clock += take('t');
        pace(play.clock);
        return play.clock;
    }
    std::int64_t now = raw_clock_ms();
    if (mode == Mode::recording) {
        add('t', now - rec.clock);
        rec.clock = now;
    }
    return now;
}

// A replay sleeps only for what a sleep shows (the blink, the pauses), at the replay's speed;
// the pace of play comes from the recorded clock.
void sleep_ms(int ms) {
    if (mode != Mode::replaying || play.speed == 0)
        raw_sleep_ms(ms);
    else
        wait_real(ms / play.speed);
}

void seed_random() {
    if (mode == Mode::replaying) {
        take('s');
        return;
    }
    raw_seed_random();
    if (mode == Mode::recording) add('s', 0);
}

int random_number() {
    if (mode == Mode::replaying) return static_cast<int>(take('r'));
    int value = raw_random_number();
    if (mode == Mode::recording) add('r', value);
    return value;
}

// ---- recording -----------------------------------------------------------------------------

void start_recording(const unsigned char* buffer) {
    rec = Recording{};
    rec.tape.code.reserve(1 << 18); // some twenty minutes of play before it must grow
    screen = buffer;
    mode = Mode::recording;
}

const Tape& finish_recording() {
    end_recorded_frame();
    if (rec.have_last) append_frame(rec.tape, rec.last);
    rec.have_last = false;
    return rec.tape;
}

// ---- replaying -----------------------------------------------------------------------------

void start_replay(const Tape& tape, const unsigned char* buffer, int speed) {
    play = Playback{};
    play.tape = &tape;
    next_frame(tape, play.at, play.frame);
    play.speed = speed;
    screen = buffer;
    mode = Mode::replaying;
}

void finish_replay(const char* ending) {
    end_played_frame();
    if (!at_last_frame()) drift("the game ends where the recording goes on");
    if (play.tape->ending != ending)
        drift(std::string("the game ends with ") + ending + ", the recording with " +
              play.tape->ending);
}

void stop_tap() {
    mode = Mode::live;
    play.tape = nullptr;
}
