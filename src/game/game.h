#pragma once

#include <cstdio>

#include "game/state.h"

// The whole run: the map opened, the terminal taken, the game played, the terminal given
// back. `map_name` is the map file to play, or nullptr for "mapa.txt" in the current
// directory. Returns the process's exit status: 0 for every ending, 1 when the game could not
// start (the reason is on stderr).
int run_game(Game& g, const char* map_name);

// Opens a map for play or for a check, or says on stderr why it cannot and returns nullptr.
// nullptr for `map_name` means "mapa.txt" in the current directory.
std::FILE* open_map_or_report(const char* map_name);

const char* game_version();
// The folder of the maps that come with the game: the installed one, or the source tree's
// when the game runs from where it was built.
const char* shipped_maps_dir();
