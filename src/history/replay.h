// Replays: every input the rules take from the seam (clock readings, key tests and codes,
// random numbers), kept while a game is played and handed back in the same order to play it
// again, frame for frame, on any machine. The rules do not know which of the three they get:
// the live inputs, the live inputs kept, or a recording's.
//
// The file is plain text:
//   dotmaze replay 1, game 1.0.0     the format, its version and the game that wrote it
//   board mapa.txt                   each map's name and board as the game read it, in the
//   XXXX...                          order played: 32 rows of exactly 32 cells, X, '.' or a
//                                    space
//   inputs
//   s 3                              one line per frame: what the rules took between two key
//   40 *4                            tests (the first line: before the first), then the
//   + k72 41 r0f200j c9f3a           screen's checksum where it changed; "*N" stands for N
//   end escape                       equal lines in a row. How the game ended comes last.
// Frame lines hold: "+" a key waiting (no "+": none), "kN" a key code, a bare number the
// clock's advance since its last reading, "r" and three base-32 digits (0-9a-v) for each
// random number drawn in a row, "s" the generator seeded,
// "cXXXX" the screen buffer's checksum, "-" a frame that took nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/state.h"

constexpr long max_replay_bytes = 16L << 20; // hours of play; anything larger is not a replay
constexpr int replay_format = 1;
constexpr char replay_first_words[] = "dotmaze replay "; // then the format's number

struct ReplayInput {
    char kind; // '+', 'k', 't' (the clock), 'r' or 's'
    std::int64_t value;
};

// One line of the inputs: a frame, or a run of equal frames.
struct ReplayFrame {
    int first = 0, count = 0; // its inputs in Replay::inputs
    long repeats = 1;
    long line = 0; // in the file, counting from 1
    bool checked = false;
    std::uint16_t checksum = 0;
};

struct Replay {
    std::string game_version;
    std::vector<std::string> map_names; // as the game was given them, to show them again
    std::vector<std::string> boards;    // 32 x 32 cells each, row after row
    std::vector<ReplayInput> inputs;
    std::vector<ReplayFrame> frames;
    std::string ending; // "won", "game_over", "escape" or "signal"
    int signal = 0;
};

// Reads a replay's text strictly. On a fault writes the reason into `why`, naming the line and,
// among the inputs, the frame.
bool parse_replay(const std::string& text, Replay& replay, std::string& why);

// The word an end line uses for an ending of the rules.
const char* ending_name(Ending ending);

// ---- recording -----------------------------------------------------------------------------

// From here on the inputs pass through and are kept. `screen` is the 40 x 80 buffer the rules
// draw from, checked at every frame.
void start_recording(const unsigned char* screen);
// Keeps a map's name and board as the game read it; once for each map, in the order played.
void record_board(const char* name, const unsigned char (&mapa)[map_rows][board_size]);
// The whole file so far, ending with `ending` ("won", "escape", "signal 15" ...).
std::string recording_text(const char* ending);

// ---- replaying -----------------------------------------------------------------------------

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

// From here on the inputs come from `replay`, which must outlive the replay. The game is
// paced by the recorded clock, `speed` times as fast; 0 does not pace it at all.
void start_replay(const Replay& replay, const unsigned char* screen, int speed);
// The game has ended as `ending`: throws ReplayFault unless that is where and how the
// recording ends, with the same screen.
void finish_replay(Ending ending);

// Back to the live inputs, nothing kept.
void stop_history();
