#pragma once

#include "game/state.h"

constexpr int key_up = 0x48, key_down = 0x50, key_left = 0x4B, key_right = 0x4D;
constexpr int key_escape = 27;
// How long "Well done!" shows before the game leaves.
constexpr int win_pause_ms = 500;

// Works one key code: moves the player, eats, rewrites the score readout and ends the game
// on Escape or on the last dot.
Ending handle_key(Game& g, int c1);
