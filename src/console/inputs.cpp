// The inputs the rules call, between them and the seam's raw ones: passed through live, kept
// for a recording, or taken from a replay.
#include <algorithm>
#include <cstdio>

#include "console/platform.h"
#include "history/replay.h"
#include "run/run.h"

namespace {

enum class Mode { live, recording, replaying };
Mode mode = Mode::live;
const unsigned char* screen = nullptr;

constexpr int escape_key = 27;
constexpr int watch_ms = 20; // how often a paced replay looks at the keyboard

// FNV-1a of the whole buffer, folded to 16 bits: short to write, and a drift that lasts is
// caught on one of the next frames should one change slip through.
std::uint16_t screen_checksum() {
    std::uint32_t hash = 2166136261u;
    for (int i = 0; i < screen_rows * screen_cols; ++i) hash = (hash ^ screen[i]) * 16777619u;
    return static_cast<std::uint16_t>(hash ^ hash >> 16);
}

// ---- recording -----------------------------------------------------------------------------

constexpr char random_digits[] = "0123456789abcdefghijklmnopqrstuv";

struct Recording {
    std::vector<std::string> map_names, boards;
    std::string text;      // the frames written so far
    std::string line;      // the frame being taken
    std::string last_line; // the last frame ended, not yet written: the next may repeat it
    long repeats = 0;
    std::int64_t clock = 0;
    std::uint16_t checksum = 0;
    bool checked = false;
    bool in_randoms = false; // the line's last token is its random numbers
};
Recording rec;

void add(const char* format, long long value) {
    char token[32];
    std::snprintf(token, sizeof token, format, value);
    if (!rec.line.empty()) rec.line += ' ';
    rec.line += token;
    rec.in_randoms = false;
}

// Random numbers are most of a replay: the ones in a row go into one token, three base-32
// digits each.
void add_random(int value) {
    if (!rec.in_randoms) {
        if (!rec.line.empty()) rec.line += ' ';
        rec.line += 'r';
        rec.in_randoms = true;
    }
    for (int shift = 10; shift >= 0; shift -= 5) rec.line += random_digits[value >> shift & 31];
}

void write_last_line() {
    if (rec.repeats == 0) return;
    rec.text += rec.last_line;
    if (rec.repeats > 1) rec.text += " *" + std::to_string(rec.repeats);
    rec.text += '\n';
    rec.repeats = 0;
}

void end_recorded_frame() {
    std::uint16_t sum = screen_checksum();
    if (!rec.checked || sum != rec.checksum) add("c%04llx", sum);
    rec.checksum = sum;
    rec.checked = true;
    if (rec.line.empty()) rec.line += '-'; // not = "-", which GCC 12 warns of wrongly
    if (rec.repeats > 0 && rec.line == rec.last_line) {
        ++rec.repeats;
    } else {
        write_last_line();
        rec.last_line.swap(rec.line);
        rec.repeats = 1;
    }
    rec.line.clear();
    rec.in_randoms = false;
}

// ---- replaying -----------------------------------------------------------------------------

struct Playback {
    const Replay* replay = nullptr;
    std::size_t frame = 0; // the line being played
    long repeat = 0;       // of its repeats
    int next = 0;          // of its inputs
    long long frame_number = 0;
    std::int64_t clock = 0;
    std::uint16_t checksum = 0;
    bool checked = false;
    int speed = 1;
    bool paced = false; // the first clock reading has set the origins
    std::int64_t real_origin = 0, recorded_origin = 0;
};
Playback play;

const ReplayFrame& current() {
    return play.replay->frames[play.frame];
}

[[noreturn]] void drift(const std::string& what) {
    throw ReplayFault{"the game drifts from the recording at frame " +
                      std::to_string(play.frame_number) + " (line " +
                      std::to_string(current().line) + "): " + what};
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
    return play.frame + 1 == play.replay->frames.size() && play.repeat + 1 == current().repeats;
}

// The game wants an input the frame does not hold: where a signal ended the recorded game,
// this is where it ended; anywhere else the game has gone its own way.
[[noreturn]] void out_of_inputs(const char* wanted) {
    if (at_last_frame() && play.replay->ending == "signal")
        throw ReplayStopped{play.replay->signal};
    drift(std::string("the game takes ") + wanted + " the frame does not hold");
}

// Escape on the real keyboard stops the replay; other keys mean nothing to it.
void watch_keyboard() {
    while (raw_key_waiting())
        if (raw_read_key() == escape_key) throw ReplayStopped{0};
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
    const ReplayFrame& frame = current();
    if (play.next >= frame.count) out_of_inputs(input_name(kind));
    const ReplayInput& input = play.replay->inputs[frame.first + play.next];
    if (input.kind != kind)
        drift(std::string("the game takes ") + input_name(kind) + " where the file has " +
              input_name(input.kind));
    ++play.next;
    return input.value;
}

// The frame is over: all of its inputs taken and the screen as recorded.
void end_played_frame() {
    const ReplayFrame& frame = current();
    if (play.next < frame.count)
        drift(std::string("the game goes on without ") +
              input_name(play.replay->inputs[frame.first + play.next].kind) + " the file holds");
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
        if (play.replay->ending == "signal") throw ReplayStopped{play.replay->signal};
        drift("the game goes on past the recording's end");
    }
    if (++play.repeat == current().repeats) {
        ++play.frame;
        play.repeat = 0;
    }
    play.next = 0;
    ++play.frame_number;
    const ReplayFrame& frame = current();
    if (frame.count > 0 && play.replay->inputs[frame.first].kind == '+') {
        play.next = 1;
        return true;
    }
    return false;
}

} // namespace

const char* ending_name(Ending ending) {
    switch (ending) {
    case Ending::won:
        return "won";
    case Ending::game_over:
        return "game_over";
    case Ending::escape:
        return "escape";
    default:
        return "none";
    }
}

// ---- the inputs as the rules take them -----------------------------------------------------

bool key_waiting() {
    if (mode == Mode::replaying) return replayed_key_waiting();
    if (mode == Mode::recording) end_recorded_frame();
    bool waiting = raw_key_waiting();
    if (mode == Mode::recording && waiting) add("+", 0);
    return waiting;
}

int read_key() {
    if (mode == Mode::replaying) return static_cast<int>(take('k'));
    int code = raw_read_key();
    if (mode == Mode::recording) add("k%lld", code);
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
        add("%lld", static_cast<long long>(now - rec.clock));
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
    if (mode == Mode::recording) add("s", 0);
}

int random_number() {
    if (mode == Mode::replaying) return static_cast<int>(take('r'));
    int value = raw_random_number();
    if (mode == Mode::recording) add_random(value);
    return value;
}

// ---- recording -----------------------------------------------------------------------------

void start_recording(const unsigned char* buffer) {
    rec = Recording{};
    rec.text.reserve(1 << 20); // some fifty minutes of play before it must grow
    rec.line.reserve(256);
    rec.last_line.reserve(256);
    screen = buffer;
    mode = Mode::recording;
}

void record_board(const char* name, const unsigned char (&mapa)[map_rows][board_size]) {
    // A line of its own: what would break it cannot show in the map's label anyway.
    std::string line = name;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = '?';
    rec.map_names.push_back(line);
    std::string board;
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            unsigned char c = mapa[row][col];
            // The rules tell walls and dots from everything else, which is open floor.
            board += c == wall || c == dot ? static_cast<char>(c) : ' ';
        }
    rec.boards.push_back(board);
}

std::string recording_text(const char* ending) {
    std::string text =
        replay_first_words + std::to_string(replay_format) + ", game " + game_version() + "\n";
    for (std::size_t i = 0; i < rec.boards.size(); ++i) {
        text += "board " + rec.map_names[i] + "\n";
        for (int row = 0; row < board_size; ++row)
            text.append(rec.boards[i], row * board_size, board_size) += '\n';
    }
    text += "inputs\n";
    end_recorded_frame();
    write_last_line();
    text += rec.text;
    text += "end ";
    text += ending;
    text += '\n';
    return text;
}

// ---- replaying -----------------------------------------------------------------------------

void start_replay(const Replay& replay, const unsigned char* buffer, int speed) {
    play = Playback{};
    play.replay = &replay;
    play.speed = speed;
    screen = buffer;
    mode = Mode::replaying;
}

void finish_replay(Ending ending) {
    end_played_frame();
    if (!at_last_frame()) drift("the game ends where the recording goes on");
    if (play.replay->ending != ending_name(ending))
        drift(std::string("the game ends with ") + ending_name(ending) + ", the recording with " +
              play.replay->ending);
}

void stop_history() {
    mode = Mode::live;
    play.replay = nullptr;
}
