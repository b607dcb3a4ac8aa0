#include "fake_platform.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "console/platform.h"

namespace fake {

Console console;

void reset() {
    console = Console{};
}

void press(int code, std::int64_t at_ms) {
    console.keys.push_back({at_ms, code});
}

void press_arrow(int code, std::int64_t at_ms) {
    press(key_arrow_prefix, at_ms);
    press(code, at_ms);
}

void script_randoms(std::initializer_list<int> values) {
    console.randoms.insert(console.randoms.end(), values.begin(), values.end());
}

const Frame& last_frame() {
    if (console.frames.empty()) throw std::logic_error("nothing was drawn");
    return console.frames.back();
}

std::string row_text(const Frame& frame, int row) {
    std::string text;
    for (int col = 0; col < screen_cols; ++col) {
        unsigned char c = frame[row * screen_cols + col];
        text += c == shade ? '#' : static_cast<char>(c);
    }
    return text;
}

} // namespace fake

using fake::console;

bool console_open(char* why, int why_size) {
    if (console.open_fails) {
        std::snprintf(why, why_size, "the fake console refuses");
        return false;
    }
    console.opened = true;
    return true;
}

void console_close() {
    console.closed = true;
}

bool console_close_restores_screen() {
    return console.own_screen;
}

void console_farewell() {}

void raw_hidecursor() {
    console.cursor_hidden = true;
    console.events.push_back("hide cursor");
}

void show_cursor_at(int row, int col) {
    console.cursor_row = row;
    console.cursor_col = col;
}

bool wait_for_key(int ms) { // the virtual clock runs on to the next key, or by ms
    std::int64_t until = console.now_ms + ms;
    if (!console.keys.empty())
        until = std::clamp(console.keys.front().at_ms, console.now_ms, until);
    console.now_ms = until;
    if (console.now_ms > console.deadline_ms) throw fake::TimeUp{};
    return raw_key_waiting();
}

void raw_park_cursor() {
    console.parked = true;
    console.events.push_back("park");
}

void raw_draw_buffer(const unsigned char* kursor) {
    fake::Frame frame{};
    // Only 3,199 cells go out; the last one stays a zero so a test can tell.
    std::memcpy(frame.data(), kursor, frame.size() - 1);
    console.frames.push_back(frame);
    console.events.push_back("draw");
}

void raw_clear_screen() {
    ++console.clears;
    console.events.push_back("clear");
}

void raw_print_text(const char* text) {
    console.printed.emplace_back(text);
    console.events.push_back(std::string("print ") + text);
}

void raw_ring_bell() {
    ++console.bells;
    console.events.push_back("bell");
}

bool raw_key_waiting() {
    if (console.now_ms >= console.out_of_memory_at_ms) throw std::bad_alloc();
    return !console.keys.empty() && console.keys.front().at_ms <= console.now_ms;
}

int raw_read_key() {
    if (!raw_key_waiting()) throw std::logic_error("read_key with no key waiting");
    int code = console.keys.front().code;
    console.keys.pop_front();
    return code;
}

std::int64_t raw_clock_ms() {
    if (console.trace_clock) console.events.push_back("clock");
    return console.now_ms;
}

void raw_sleep_ms(int ms) {
    console.sleeps.push_back(ms);
    console.events.push_back("sleep " + std::to_string(ms));
    console.now_ms += ms;
    if (console.now_ms >= console.meanwhile_at_ms && console.meanwhile)
        std::exchange(console.meanwhile, nullptr)();
    if (console.now_ms > console.deadline_ms) throw fake::TimeUp{};
}

void raw_seed_random() {
    console.seeded = true;
    console.events.push_back("seed");
}

int raw_random_number() {
    if (!console.randoms.empty()) {
        int value = console.randoms.front();
        console.randoms.pop_front();
        return value;
    }
    // A small fixed-seed generator (xorshift), so unscripted runs repeat exactly.
    std::uint32_t& s = console.generator;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<int>(s % 32768);
}

void call_before_quitting(void (*last_words)(int)) {
    console.last_words = last_words;
}

bool quit_pending() {
    return console.quit_pending;
}

void quit_if_pending() {}
