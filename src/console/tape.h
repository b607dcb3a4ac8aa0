// A recorded game in memory: the inputs the rules took, frame by frame, packed into bytes. A
// frame takes no more bytes than its line in a replay file, so a file read costs at most its
// own size again, however it was made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TapInput {
    // '+' a key waiting (the key test found one), 'k' a key code, 't' the clock's advance
    // since its last reading, 'r' a random number, 's' the generator seeded.
    char kind;
    std::int64_t value;
};

// A frame: what the rules took between two key tests (the first: before the first), or a run
// of equal frames.
struct TapFrame {
    std::vector<TapInput> inputs;
    long repeats = 1;
    bool checked = false; // the screen changed: `checksum` is the new one
    std::uint16_t checksum = 0;
};

struct Tape {
    std::vector<unsigned char> code; // the frames, one after the other
    long frames = 0;
    long first_line = 0; // the file's line that held the first frame, for a fault's words
    std::string ending;  // "won", "game_over", "escape" or "signal"
    int signal = 0;      // for "signal": its number
};

// Adds `frame` at the end of the tape.
void append_frame(Tape& tape, const TapFrame& frame);
// The frame that starts at byte `at` of the tape into `frame`, and `at` moved past it; false
// at the tape's end.
bool next_frame(const Tape& tape, std::size_t& at, TapFrame& frame);
