#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "game/state.h"

// The whole run: every map read, the terminal taken, the maps played in turn, the terminal
// given back. `map_names` are the map files in the order to play them; none means "mapa.txt"
// in the current directory. Returns the process's exit status: 0 for every ending, 1 when the
// game could not start (the reason is on stderr).
int run_game(Game& g, const std::vector<const char*>& map_names);
// A game of the one map `map_name` (nullptr: "mapa.txt" in the current directory).
int run_game(Game& g, const char* map_name);
// The same, keeping every input the game takes; when the game ends, however it ends (a quit
// signal too), the replay file `replay_name` is written whole. Status 1 as well when it cannot
// be written.
int record_game(Game& g, const char* replay_name, const std::vector<const char*>& map_names);
// Plays the replay file `replay_name` back in the terminal, `speed` times as fast (0: as fast
// as it goes), under the viewer's keys. Status 0 when it plays to its end or Escape stops it,
// 1 when the file is refused or the game drifts from it (the reason, naming the frame, is on
// stderr). With `cast_name`, no terminal: the replay is written as an asciicast to that file
// ("-": standard output), and nothing at all when it is refused or drifts.
int replay_game(Game& g, const char* replay_name, int speed, const char* cast_name = nullptr);

// What the play of one map came to.
struct MapResult {
    Ending ending; // won, game_over or escape
    int lives;     // left at the end
    int dots_eaten, dots;
    std::int64_t play_ms; // on the game's clock, from the first frame to the ending's last word
};

// One map of a game, from its start-up with the `lives` the player brings to its ending.
// `label` names the map and its place right of the board; empty in a game of one map.
MapResult play_map(Game& g, const Board& board, int lives, const char* label);

// Takes the terminal, or says on stderr why it cannot.
bool open_console_or_report();

// Opens a map for play or for a check, or says on stderr why it cannot and returns nullptr.
// nullptr for `map_name` means "mapa.txt" in the current directory.
std::FILE* open_map_or_report(const char* map_name);

const char* game_version();
// The folder of the maps that come with the game, found from where the game is: the one
// its install put down beside it, the folder configured at build time, or, for a game run
// from its build tree, the sources'. nullptr when none of them is there.
const char* shipped_maps_dir();
