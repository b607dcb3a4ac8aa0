#pragma once

#include <cstdio>

#include "game/state.h"

// Everything between opening the map file and the first pass of the loop: the board read,
// the layers and the screen buffer built, everyone placed, the first frame drawn.
void start_game(Game& g, std::FILE* map);

// Mob 2's memory as it is at start-up and after each clearing: the plain board, with the
// player's starting cell closed as well.
void reset_mob2_memory(Game& g);
