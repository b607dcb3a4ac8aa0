#pragma once

#include "game/state.h"

// The whole run: the map opened, the terminal taken, the game played, the terminal given
// back. Returns the process's exit status: 0 for every ending, 1 when the game could not
// start (the reason is on stderr).
int run_game(Game& g);
