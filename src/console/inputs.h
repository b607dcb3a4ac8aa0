// The inputs tap: every input the rules take from the seam (clock readings, key tests and
// codes, the generator's seeding, random numbers) passes through here on its way up from the
// machine's raw services. Live, it passes them through; recording, it passes them through and
// keeps them, frame by frame, with a checksum of the screen wherever it changed; replaying, it
// hands back a recording's instead and checks the screen against it. The rules cannot tell
// the three apart. A recording in memory is plain data: writing it to a file, and reading it
// from one, is the history's business, and the maps and the version are the run's. The rules'
// outputs pass through the tap too (outputs.cpp), so that a replay is shown as its run asks:
// in the terminal with lines of its own over the game's, or on no terminal at all; while it
// is held, stepped or sent on to a time, the rules wait or run on unseen.
#pragma once

#include <cstdint>
#include <string>

#include "console/tape.h"

// ---- recording ---------------------------------------------------------------------------------

// From here on the inputs pass through and are kept. `screen` is the 40 x 80 buffer the rules
// draw into, checksummed at every frame.
void start_recording(const unsigned char* screen);
// Ends the frame being taken and hands over all that was kept; its ending is the caller's to
// set. The inputs still pass through, kept, until stop_tap.
const Tape& finish_recording();

// ---- replaying ---------------------------------------------------------------------------------

// Thrown from an input while replaying, when the game drifts from the recording. `what` names
// the frame.
struct ReplayFault {
    std::string what;
};
// Thrown from an input while replaying: Escape on the real keyboard (signal 0), or the point
// where a recorded game was ended by a signal.
struct ReplayStopped {
    int signal;
};

// How a replay is shown, named by the run when it starts one. Any of them may be nullptr.
struct ReplayShow {
    // Each key typed while the replay plays; without it the keyboard is not read at all. It
    // may throw through the rules, as the replay's own faults do.
    void (*key)(int code);
    // Some fifty times a second while the replay is held at the end of a frame.
    void (*held)();
    // In place of the terminal's own outputs; nullptr: the terminal's.
    void (*draw)(const unsigned char* kursor);
    void (*clear)();
    void (*print)(const char* text);
    void (*bell)();
    void (*park)();
    void (*hide)();
};

// From here on the inputs come from `tape`, which must outlive the replay. The game is paced
// by the recorded clock, `speed` times as fast; 0 does not pace it, nor sleep at all. Without
// `show` (or until stop_tap) the outputs go to the terminal, and Escape on the keyboard stops
// the replay.
void start_replay(const Tape& tape, const unsigned char* screen, int speed,
                  const ReplayShow* show = nullptr);
// The game has ended with the end line's word `ending`: throws ReplayFault unless that is
// where and how the recording ends, with the same screen.
void finish_replay(const char* ending);

// Where a replay is.
struct ReplayPlace {
    long long frame;        // the frame shown, counted as a fault names it
    std::int64_t at_ms;     // the game's time there, from its first clock reading, with the
                            // sleeps since the last reading (a blink draws 500 ms apart)
    std::int64_t length_ms; // the whole game's, by its clock
    bool held;
    bool seeking;
};
ReplayPlace replay_place();
// Paced `speed` times as fast from here on.
void set_replay_speed(int speed);
// Held: the game waits at the end of the frame being played until let go.
void hold_replay(bool held);
// While held: one frame on, then held again.
void step_replay();
// On, neither paced nor drawn, to the end of the first frame at or past `at_ms` of the game's
// time (or the last frame), and shown there. Every frame on the way is checked as ever.
void seek_replay(std::int64_t at_ms);

// Back to the live inputs, nothing kept.
void stop_tap();
