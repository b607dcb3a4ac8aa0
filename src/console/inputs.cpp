// The inputs the rules call, between them and the seam's raw ones: passed through live, kept
// for a recording, or taken from a replay (playback.cpp).
#include "console/inputs.h"

#include <algorithm>

#include "console/platform.h"
#include "console/playback.h"

namespace {

bool recording = false;
const unsigned char* screen = nullptr;

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
    std::uint16_t sum = screen_checksum(screen);
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

} // namespace

// ---- the inputs as the rules take them -----------------------------------------------------

bool key_waiting() {
    if (replaying()) return replayed_key_waiting();
    if (recording) end_recorded_frame();
    bool waiting = raw_key_waiting();
    if (recording && waiting) add('+', 0);
    return waiting;
}

int read_key() {
    if (replaying()) return replayed_key();
    int code = raw_read_key();
    if (recording) add('k', code);
    return code;
}

std::int64_t clock_ms() {
    if (replaying()) return replayed_clock();
    std::int64_t now = raw_clock_ms();
    if (recording) {
        add('t', now - rec.clock);
        rec.clock = now;
    }
    return now;
}

void sleep_ms(int ms) {
    if (replaying())
        replayed_sleep(ms);
    else
        raw_sleep_ms(ms);
}

void seed_random() {
    if (replaying()) {
        replayed_seeding();
        return;
    }
    raw_seed_random();
    if (recording) add('s', 0);
}

int random_number() {
    if (replaying()) return replayed_random();
    int value = raw_random_number();
    if (recording) add('r', value);
    return value;
}

// ---- recording -----------------------------------------------------------------------------

void start_recording(const unsigned char* buffer) {
    rec = Recording{};
    rec.tape.code.reserve(1 << 18); // some twenty minutes of play before it must grow
    screen = buffer;
    recording = true;
}

const Tape& finish_recording() {
    end_recorded_frame();
    if (rec.have_last) append_frame(rec.tape, rec.last);
    rec.have_last = false;
    return rec.tape;
}

std::uint16_t screen_checksum(const unsigned char* buffer) {
    // Short to write, and a drift that lasts is caught on one of the next frames should one
    // change slip through.
    std::uint32_t hash = 2166136261u;
    for (int i = 0; i < screen_rows * screen_cols; ++i) hash = (hash ^ buffer[i]) * 16777619u;
    return static_cast<std::uint16_t>(hash ^ hash >> 16);
}

void stop_tap() {
    recording = false;
    stop_replay();
}
