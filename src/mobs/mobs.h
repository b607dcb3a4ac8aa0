// The three pursuers. Mobs 1 and 2 draw their `A` as they move; the tick draws mob 3's,
// since mob 3 moves only every second tick.
#pragma once

#include "game/state.h"

constexpr int patrol_length = 24;

// Mob 1's round, one step per stage 0 to patrol_length - 1 from its starting cell. The map
// checker walks the same steps to find the walls on the round.
struct PatrolStep {
    int dx, dy;
};
PatrolStep patrol_step(int stage);

// Mob 1: one step of its fixed rectangle, through whatever stands in the way.
void move_mob1(Game& g);
// Mob 2: a random step into its 3 x 3 block, avoiding the cells it remembers and row 1.
void move_mob2(Game& g);
// Mob 3: one step towards the player by Chebyshev distance, never into a wall or row 1.
void move_mob3(Game& g);
