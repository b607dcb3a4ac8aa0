#include "game/loop.h"

#include "console/platform.h"
#include "game/lives.h"
#include "game/player.h"
#include "game/startup.h"
#include "mobs/mobs.h"

namespace {

constexpr int memory_span = 30; // ticks between clearings of mob 2's memory

// Wipes the player and the mobs off every open cell and brings back the uneaten dots. Wall
// cells are left alone, so an `A` that mob 1 leaves on a wall stays there.
void refresh_board(Game& g) {
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            if (g.food[row][col] == dot)
                g.kursor[row][col] = dot;
            else if (g.mapa[row][col] != wall)
                g.kursor[row][col] = space;
        }
}

} // namespace

Ending mob_tick(Game& g) {
    ++g.time_mob_div;
    refresh_board(g);
    g.kursor[g.y][g.x] = player_glyph;
    move_mob1(g);
    move_mob2(g);

    ++g.time_mob;
    ++g.mob_stage;
    if (++g.mob_walk_counter == memory_span) {
        reset_mob2_memory(g);
        g.mob_walk_counter = 0;
    }

    if (g.time_mob_div == 2) {
        move_mob3(g);
        g.time_mob_div = 0;
    }
    g.kursor[g.mob3_y][g.mob3_x] = mob_glyph;

    Ending ending = check_catch(g);
    if (ending != Ending::none) return ending;
    if (g.mob_stage == patrol_length) g.mob_stage = 0;
    return Ending::none;
}

Ending run_pass(Game& g) {
    if (key_waiting()) {
        Ending ending = handle_key(g, read_key() & 0xFF);
        if (ending != Ending::none) return ending;
    }

    std::int64_t diff = clock_ms() - g.start;
    std::int64_t sec = diff / tick_ms; // the number of ticks that should have run by now
    if (sec > g.time_mob) {
        Ending ending = mob_tick(g);
        if (ending != Ending::none) return ending;
    }

    draw_buffer(&g.kursor[0][0]);
    sleep_ms(10);
    sleep_ms(30);
    return Ending::none;
}

Ending run_loop(Game& g) {
    Ending ending;
    while ((ending = run_pass(g)) == Ending::none) {}
    return ending;
}
