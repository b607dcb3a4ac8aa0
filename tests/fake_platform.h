// The test double of the platform: a virtual clock that only sleeps move, scripted keys and
// random numbers, and a record of everything the game showed.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "console/platform.h"

namespace fake {

using Frame = std::array<unsigned char, screen_rows * screen_cols>;

struct Key {
    std::int64_t at_ms; // not readable before this time on the virtual clock
    int code;
};

// Thrown by sleep_ms once the clock passes `deadline_ms`, so a game that never ends
// cannot hang a test.
struct TimeUp {};

struct Console {
    std::int64_t now_ms = 0;
    std::int64_t deadline_ms = INT64_MAX;
    std::deque<Key> keys;
    std::deque<int> randoms; // when empty, a fixed-seed generator takes over
    std::uint32_t generator = 12345;

    bool open_fails = false;
    bool own_screen = true;   // a terminal that gives its own screen back on close
    bool trace_clock = false; // record each clock reading in `events` too
    bool opened = false, closed = false;
    bool cursor_hidden = false, parked = false;
    int cursor_row = -1, cursor_col = -1; // where the editor last showed the cursor
    bool seeded = false;
    void (*last_words)(int) = nullptr; // as the game named it for a quit signal
    bool quit_pending = false;         // what quit_pending says
    // From this time on the key tests throw std::bad_alloc, as memory running out would.
    std::int64_t out_of_memory_at_ms = INT64_MAX;
    // What happens to the machine meanwhile: run once by the first sleep past its time.
    std::int64_t meanwhile_at_ms = INT64_MAX;
    std::function<void()> meanwhile;
    int bells = 0;
    int clears = 0;
    std::vector<Frame> frames; // every draw, in order (the last cell is never sent)
    std::vector<std::string> printed;
    std::vector<int> sleeps;
    // Draws, sleeps, prints, bells, clears, the start-up calls and (with trace_clock) clock
    // readings, in order.
    std::vector<std::string> events;
};

extern Console console;

// A fresh console for each test.
void reset();
void press(int code, std::int64_t at_ms = 0);
// Arrow key: its prefix and then its code.
void press_arrow(int code, std::int64_t at_ms = 0);
void script_randoms(std::initializer_list<int> values);

const Frame& last_frame();
// Row `row` of a frame as text, byte 176 shown as '#'.
std::string row_text(const Frame& frame, int row);

} // namespace fake
