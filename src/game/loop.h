#pragma once

#include "game/state.h"

// One mob tick: the board refreshed, the mobs moved, the catch tested.
Ending mob_tick(Game& g);
// One pass: at most one key code, at most one tick, a draw and the pass's sleeps.
Ending run_pass(Game& g);
// Passes until the game ends.
Ending run_loop(Game& g);
