#pragma once

#include "game/state.h"

// How long "Well done!" shows before the game leaves.
constexpr int win_pause_ms = 500;

// Works one key code: moves the player, eats, rewrites the score readout and ends the game
// on Escape or on the last dot.
Ending handle_key(Game& g, int c1);
