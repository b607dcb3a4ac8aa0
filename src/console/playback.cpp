// The tap while a replay plays: the rules' inputs taken from the tape, frame by frame, the
// screen checked at the end of each, the game paced by the recorded clock, held, stepped or
// sent on fast as the replay's run asks.
#include <algorithm>
#include <limits>

#include "console/inputs.h"
#include "console/outputs.h"
#include "console/platform.h"
#include "console/playback.h"

namespace {

constexpr int watch_ms = 20; // how often a paced or held replay looks at the keyboard

struct Playback {
    bool on = false;
    const Tape* tape = nullptr;
    const unsigned char* screen = nullptr;
    const ReplayShow* show = nullptr;
    std::size_t at = 0;   // on the tape: the frame after the one being played
    TapFrame frame;       // the one being played
    long index = 0;       // of it, among the tape's frames
    long repeat = 0;      // of its repeats
    std::size_t next = 0; // of its inputs
    long long frame_number = 0;
    std::int64_t clock = 0;
    std::int64_t slept = 0; // since the last clock reading
    std::int64_t first_clock = 0, length_ms = 0;
    std::uint16_t checksum = 0;
    bool checked = false;
    int speed = 1;
    bool paced = false; // the origins are set: from the next clock reading or sleep when not
    std::int64_t real_origin = 0, recorded_origin = 0;
    bool held = false;
    int steps = 0; // frames to play on while held
    bool seeking = false;
    std::int64_t seek_to = 0;
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

// The first clock reading, and the span of the clock from it to the last: the game's length.
// A number too large for any game (an edited file) is held at a bound rather than overflow.
void measure(const Tape& tape) {
    constexpr std::int64_t bound = std::numeric_limits<std::int64_t>::max() / 4;
    std::size_t at = 0;
    TapFrame frame;
    std::int64_t clock = 0;
    bool first = true;
    while (next_frame(tape, at, frame))
        for (const TapInput& input : frame.inputs) {
            if (input.kind != 't') continue;
            if (first) play.first_clock = input.value;
            first = false;
            bool fits = input.value == 0 || frame.repeats <= (bound - clock) / input.value;
            clock = fits ? clock + input.value * frame.repeats : bound;
        }
    play.length_ms = std::max<std::int64_t>(0, clock - play.first_clock);
}

std::int64_t position() {
    return std::max<std::int64_t>(0, play.clock + play.slept - play.first_clock);
}

// Keys typed while a replay plays are the run's; without a show of its own, Escape stops it
// and the other keys mean nothing.
void watch_keyboard() {
    if (play.show == nullptr) {
        while (raw_key_waiting())
            if (raw_read_key() == key_escape) throw ReplayStopped{0};
        return;
    }
    if (play.show->key == nullptr) return;
    while (raw_key_waiting()) play.show->key(raw_read_key());
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
// recorded clock by `recorded`. A key may change the speed or start a seek while it waits.
void pace(std::int64_t recorded) {
    for (;;) {
        if (play.speed == 0 || play.seeking) return;
        if (!play.paced) {
            play.paced = true;
            play.real_origin = raw_clock_ms();
            play.recorded_origin = recorded;
        }
        std::int64_t due = (recorded - play.recorded_origin) / play.speed;
        std::int64_t late = due - (raw_clock_ms() - play.real_origin);
        if (late <= 0) return;
        wait_real(std::min<std::int64_t>(late, watch_ms));
    }
}

// At the end of a frame, while the replay is held: the game waits, its time stopped.
void hold_here() {
    while (play.held && !play.seeking) {
        if (play.steps > 0) {
            --play.steps;
            return;
        }
        if (play.show != nullptr && play.show->held != nullptr) play.show->held();
        raw_sleep_ms(watch_ms);
        watch_keyboard();
        play.paced = false;
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
    if ((frame.checked || play.checked) && screen_checksum(play.screen) != expected)
        drift("the screen is not the one recorded");
    play.checksum = expected;
    play.checked = play.checked || frame.checked;
}

} // namespace

// ---- the rules' inputs -------------------------------------------------------------------------

bool replaying() {
    return play.on;
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
    // A seek gets there at the end of a frame, and no further than the last, which ends the
    // game: its ending shows as ever.
    if (play.seeking && (position() >= play.seek_to || at_last_frame())) {
        play.seeking = false;
        play.paced = false;
        hold_outputs(false);
    }
    hold_here();
    play.next = 0;
    ++play.frame_number;
    const TapFrame& frame = play.frame;
    if (!frame.inputs.empty() && frame.inputs.front().kind == '+') {
        play.next = 1;
        return true;
    }
    return false;
}

int replayed_key() {
    return static_cast<int>(take('k'));
}

std::int64_t replayed_clock() {
    play.clock += take('t');
    play.slept = 0;
    pace(play.clock);
    return play.clock;
}

// A sleep takes nothing from the tape, but shows as time going by: the blink, the pauses.
void replayed_sleep(int ms) {
    play.slept += ms;
    pace(play.clock + play.slept);
}

void replayed_seeding() {
    take('s');
}

int replayed_random() {
    return static_cast<int>(take('r'));
}

void stop_replay() {
    play.on = false;
    play.tape = nullptr;
    play.show = nullptr;
    show_outputs_through(nullptr);
}

// ---- the replay's run ------------------------------------------------------------------------

void start_replay(const Tape& tape, const unsigned char* buffer, int speed,
                  const ReplayShow* show) {
    play = Playback{};
    play.on = true;
    play.tape = &tape;
    play.screen = buffer;
    play.show = show;
    play.speed = speed;
    measure(tape);
    next_frame(tape, play.at, play.frame);
    show_outputs_through(show);
}

void finish_replay(const char* ending) {
    end_played_frame();
    if (!at_last_frame()) drift("the game ends where the recording goes on");
    if (play.tape->ending != ending)
        drift(std::string("the game ends with ") + ending + ", the recording with " +
              play.tape->ending);
}

ReplayPlace replay_place() {
    return {play.frame_number, std::min(position(), play.length_ms), play.length_ms, play.held,
            play.seeking};
}

void set_replay_speed(int speed) {
    play.speed = speed;
    play.paced = false;
}

void hold_replay(bool held) {
    play.held = held;
    play.steps = 0;
    play.paced = false;
}

void step_replay() {
    if (play.held) ++play.steps;
}

void seek_replay(std::int64_t at_ms) {
    play.seeking = true;
    play.seek_to = at_ms;
    hold_outputs(true);
}
