#pragma once

#include <cstdio>

#include "game/state.h"

// Reads a map's board from the open map file, and closes it.
void read_board(Board& board, std::FILE* map);

// Everything between a map's board, read beforehand, and the first pass of the loop: the
// layers and the screen buffer built, `label` written right of the board (empty in a game of
// one map), everyone placed, the first frame drawn. `lives` are the ones the player brings:
// starting_lives on a game's first map, what was left on the one before after that.
void start_game(Game& g, const Board& board, int lives, const char* label);

// Mob 2's memory as it is at start-up and after each clearing: the plain board, with the
// player's starting cell closed as well.
void reset_mob2_memory(Game& g);
