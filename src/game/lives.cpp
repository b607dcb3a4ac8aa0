#include "game/lives.h"

#include "console/buffer.h"
#include "console/platform.h"

namespace {

constexpr int blinks = 3;
constexpr int blink_half_ms = 500;

bool caught(const Game& g) {
    return (g.x == g.mob1_x && g.y == g.mob1_y) || (g.x == g.mob2_x && g.y == g.mob2_y) ||
           (g.x == g.mob3_x && g.y == g.mob3_y);
}

void draw(const Game& g) {
    draw_buffer(&g.kursor[0][0]);
}

void lose_life(Game& g) {
    --g.lives;
    ring_bell();
    g.x = start_x;
    g.y = start_y;
    for (int i = 0; i < blinks; ++i) {
        g.kursor[start_y][start_x] = space;
        draw(g);
        sleep_ms(blink_half_ms);
        g.kursor[start_y][start_x] = player_glyph;
        draw(g);
        sleep_ms(blink_half_ms);
    }
    // A new clock origin: the blink must not be made up for with a burst of ticks.
    g.time_mob = 0;
    g.start = clock_ms();
}

} // namespace

Ending check_catch(Game& g) {
    if (caught(g)) lose_life(g);
    write_lives_readout(g.kursor, g.lives);
    draw(g);
    if (g.lives == 0) {
        print_text("GAME OVER!");
        sleep_ms(game_over_pause_ms);
        return Ending::game_over;
    }
    return Ending::none;
}
