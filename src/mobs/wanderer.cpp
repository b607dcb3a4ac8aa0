#include "console/platform.h"
#include "mobs/mobs.h"

namespace {

// Off the board counts as wall, so a map without a border still keeps the mob on it.
unsigned char remembered(const Game& g, int col, int row) {
    return on_board(col, row) ? g.mob2_map[row][col] : wall;
}

bool admissible(const Game& g, int col, int row) {
    return remembered(g, col, row) != wall && row != closed_row;
}

int random_step() {
    return random_number() % 3 - 1;
}

} // namespace

void move_mob2(Game& g) {
    int mob2_no_move = 0;
    bool any_admissible = false;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if (remembered(g, g.mob2_x + dx, g.mob2_y + dy) == wall) ++mob2_no_move;
            if (admissible(g, g.mob2_x + dx, g.mob2_y + dy)) any_admissible = true;
        }

    int temp_x = random_step();
    int temp_y = random_step();
    if (mob2_no_move != 9 && any_admissible) {
        // The same test that found a free cell decides each draw, so this always ends.
        while (!admissible(g, g.mob2_x + temp_x, g.mob2_y + temp_y)) {
            temp_x = random_step();
            temp_y = random_step();
        }
        g.mob2_x += temp_x;
        g.mob2_y += temp_y;
        g.mob2_map[g.mob2_y][g.mob2_x] = wall;
    }
    g.kursor[g.mob2_y][g.mob2_x] = mob_glyph;
}
