// A replay shown: watched in the terminal (viewer.cpp) or written as an asciicast (cast.cpp),
// for watch.cpp, which reads the file and reports what went wrong.
#pragma once

#include <string>
#include <vector>

#include "game/state.h"
#include "history/replay.h"

// The maps of a replay, as play_maps takes them.
struct ReplayMaps {
    std::vector<const char*> names;
    std::vector<Board> boards;
};

// Plays `replay` in the terminal, already open, `speed` times as fast, under the viewer's
// keys and status lines, to its end or until Escape. Throws what the tap throws (ReplayFault,
// ReplayStopped); the tap is the caller's to stop.
Ending view_replay(Game& g, const Replay& replay, const ReplayMaps& maps, int speed);

// The asciicast of `replay` at `speed`, played without a terminal. Throws as view_replay.
std::string cast_replay(Game& g, const Replay& replay, const ReplayMaps& maps, int speed);
// True when `out` may take a cast: nothing there, or a cast or an empty file. Else says why
// on stderr.
bool cast_may_replace(const char* out);
// Writes `cast` whole to the file `out` (a new file renamed over it), or to standard output
// for "-". False, with the reason on stderr, when it cannot.
bool write_cast(const char* out, const std::string& cast);
