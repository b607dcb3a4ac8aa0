// The whole state of a game: the board, its layers, the screen buffer and the counters.
// Plain data; the rules are free functions over it, one unit per concern.
#pragma once

#include <cstdint>

#include "console/platform.h" // the screen buffer's size, the shade

constexpr int board_size = 32;
constexpr int map_rows = board_size + 1; // a spare row takes what the reader stores past row 31
constexpr int tick_ms = 200;
constexpr int starting_lives = 3;

constexpr unsigned char wall = 'X';
constexpr unsigned char dot = '.';
constexpr unsigned char space = ' ';
constexpr unsigned char player_glyph = '*';
constexpr unsigned char mob_glyph = 'A';

constexpr int start_x = 1, start_y = 1;
constexpr int mob1_start_x = 1, mob1_start_y = 3; // the top-left corner of the patrol
constexpr int mob2_start_x = 1, mob2_start_y = 29;
constexpr int mob3_start_x = 29, mob3_start_y = 29;
// Mobs 2 and 3 never enter the player's starting row, so a player sent back there is safe.
constexpr int closed_row = 1;

// A board as read from its map file. Every map of a game is read before the first is played,
// so each waits in one of these until its turn.
struct Board {
    unsigned char cells[map_rows][board_size];
};

struct Game {
    unsigned char mapa[map_rows][board_size];

    // The layers share the screen buffer's row width; only columns 0-31 are board cells.
    unsigned char food[board_size][screen_cols];
    unsigned char mob2_map[board_size][screen_cols];
    unsigned char mob3_trackmap[board_size][screen_cols];

    unsigned char kursor[screen_rows][screen_cols];

    int x, y;
    int score, max;
    int lives;
    int mob1_x, mob1_y;
    int mob2_x, mob2_y;
    int mob3_x, mob3_y;
    int time_mob;
    int time_mob_div;
    int mob_stage;
    int mob_walk_counter;
    // 64 bits, so that the tick arithmetic holds however long a game runs.
    std::int64_t start;
};

enum class Ending { none, escape, won, game_over };

inline bool on_board(int col, int row) {
    return col >= 0 && col < board_size && row >= 0 && row < board_size;
}

// The board as the rules see it: whatever lies off the board is wall.
inline unsigned char board_cell(const Game& g, int col, int row) {
    return on_board(col, row) ? g.mapa[row][col] : wall;
}
