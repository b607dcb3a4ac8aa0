#include "mobs/mobs.h"

// From (1, 3): ten steps right, two down, ten left, two up, and round again.
void move_mob1(Game& g) {
    if (g.mob_stage <= 9)
        ++g.mob1_x;
    else if (g.mob_stage <= 11)
        ++g.mob1_y;
    else if (g.mob_stage <= 21)
        --g.mob1_x;
    else
        --g.mob1_y;
    g.kursor[g.mob1_y][g.mob1_x] = mob_glyph;
}
