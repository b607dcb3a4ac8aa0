#pragma once

#include "game/state.h"

// How long "GAME OVER!" shows before the game leaves.
constexpr int game_over_pause_ms = 1000;

// The end of every tick: a caught player loses a life and blinks back at the start, the
// lives readout is rewritten and drawn, and the last life lost ends the game.
Ending check_catch(Game& g);
