#include "game/startup.h"

#include <cstring>

#include "console/buffer.h"
#include "console/platform.h"
#include "game/map_reader.h"

void reset_mob2_memory(Game& g) {
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) g.mob2_map[row][col] = g.mapa[row][col];
    g.mob2_map[start_y][start_x] = wall;
}

void read_board(Board& board, std::FILE* map) {
    std::memset(&board, 0, sizeof board);
    read_map(board.cells, map);
}

void start_game(Game& g, const Board& board, int lives, const char* label) {
    seed_random();
    hidecursor();
    std::memcpy(g.mapa, board.cells, sizeof g.mapa);

    g.x = start_x;
    g.y = start_y;
    g.score = 0;
    g.max = 0;
    g.lives = lives;
    g.mob1_x = mob1_start_x;
    g.mob1_y = mob1_start_y;
    g.mob2_x = mob2_start_x;
    g.mob2_y = mob2_start_y;
    g.mob3_x = mob3_start_x;
    g.mob3_y = mob3_start_y;
    g.time_mob = 0;
    g.time_mob_div = 0;
    g.mob_stage = 0;
    g.mob_walk_counter = 0;

    clear_screen_buffer(g.kursor);
    std::memset(g.food, space, sizeof g.food);
    std::memset(g.mob3_trackmap, 0, sizeof g.mob3_trackmap);
    // Columns past the board are never read as cells; keep them defined all the same.
    std::memset(g.mob2_map, 0, sizeof g.mob2_map);
    reset_mob2_memory(g);
    write_labels(g.kursor);
    write_map_label(g.kursor, label);

    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            if (g.mapa[row][col] == dot) {
                g.kursor[row][col] = dot;
                g.food[row][col] = dot;
                ++g.max;
            } else if (g.mapa[row][col] == wall) {
                g.kursor[row][col] = shade;
            }
        }

    g.kursor[g.y][g.x] = player_glyph;
    g.kursor[g.mob1_y][g.mob1_x] = mob_glyph;
    g.kursor[g.mob2_y][g.mob2_x] = mob_glyph;
    g.kursor[g.mob3_y][g.mob3_x] = mob_glyph;

    g.start = clock_ms();
    park_cursor();
    draw_buffer(&g.kursor[0][0]);
}
