// The inputs tap: every input the rules take from the seam (clock readings, key tests and
// codes, the generator's seeding, random numbers) passes through here on its way up from the
// machine's raw services. Live, it passes them through; recording, it passes them through and
// keeps them, frame by frame, with a checksum of the screen wherever it changed; replaying, it
// hands back a recording's instead and checks the screen against it. The rules cannot tell
// the three apart. A recording in memory is plain data: writing it to a file, and reading it
// from one, is the history's business, and the maps and the version are the run's.
#pragma once

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

// From here on the inputs come from `tape`, which must outlive the replay. The game is paced
// by the recorded clock, `speed` times as fast; 0 does not pace it at all.
void start_replay(const Tape& tape, const unsigned char* screen, int speed);
// The game has ended with the end line's word `ending`: throws ReplayFault unless that is
// where and how the recording ends, with the same screen.
void finish_replay(const char* ending);

// Back to the live inputs, nothing kept.
void stop_tap();
