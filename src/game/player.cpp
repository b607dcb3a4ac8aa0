#include "game/player.h"

#include "console/buffer.h"
#include "console/platform.h"

Ending handle_key(Game& g, int c1) {
    int to_x = g.x, to_y = g.y;
    bool allowed = false;
    if (c1 == key_up) {
        to_y = g.y - 1;
        allowed = g.y > 0;
    } else if (c1 == key_down) {
        to_y = g.y + 1;
        allowed = g.y <= board_size - 2;
    } else if (c1 == key_right) {
        to_x = g.x + 1;
        allowed = g.x <= board_size - 2;
    } else if (c1 == key_left) {
        to_x = g.x - 1;
        allowed = g.x > 0;
    }

    if (allowed && board_cell(g, to_x, to_y) != wall) {
        // The dot is taken from what the screen shows: one hidden under a mob stays put.
        if (g.kursor[to_y][to_x] == dot) {
            ++g.score;
            g.food[to_y][to_x] = space;
        }
        g.kursor[g.y][g.x] = space;
        g.x = to_x;
        g.y = to_y;
    }

    if (c1 == key_escape) return Ending::escape;

    g.kursor[g.y][g.x] = player_glyph;
    write_score_readout(g.kursor, g.score, g.max);
    if (g.score == g.max) {
        clear_screen();
        print_text("Well done!");
        sleep_ms(win_pause_ms);
        return Ending::won;
    }
    return Ending::none;
}
