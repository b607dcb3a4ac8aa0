// The replay file: a game as the inputs tap kept it, with each map's board and the version of
// the game that played it, as plain text, read and written here and nowhere else.
//
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

#include <string>
#include <vector>

#include "console/inputs.h"
#include "game/state.h"

constexpr long max_replay_bytes = 16L << 20; // hours of play; anything larger is not a replay
constexpr int replay_format = 1;
constexpr char replay_first_words[] = "dotmaze replay "; // then the format's number

struct Replay {
    std::string game_version;
    std::vector<std::string> map_names; // as the game was given them, to show them again
    std::vector<std::string> boards;    // 32 x 32 cells each, row after row
    Tape tape;
};

// Reads a replay's text strictly. On a fault writes the reason into `why`, naming the line and,
// among the inputs, the frame.
bool parse_replay(const std::string& text, Replay& replay, std::string& why);
// The replay's text, as parse_replay reads it.
std::string replay_text(const Replay& replay);

// Adds a map's name and board as the game read it; once for each map, in the order played.
void add_board(Replay& replay, const char* name, const unsigned char (&mapa)[map_rows][board_size]);

// The word an end line uses for an ending of the rules.
const char* ending_name(Ending ending);
