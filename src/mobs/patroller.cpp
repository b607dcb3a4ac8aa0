#include "mobs/mobs.h"

// From (1, 3): ten steps right, two down, ten left, two up, and round again.
PatrolStep patrol_step(int stage) {
    if (stage <= 9) return {1, 0};
    if (stage <= 11) return {0, 1};
    if (stage <= 21) return {-1, 0};
    return {0, -1};
}

void move_mob1(Game& g) {
    PatrolStep step = patrol_step(g.mob_stage);
    g.mob1_x += step.dx;
    g.mob1_y += step.dy;
    g.kursor[g.mob1_y][g.mob1_x] = mob_glyph;
}
