#include <algorithm>
#include <cstdlib>

#include "mobs/mobs.h"

namespace {

constexpr unsigned char blocked = 255;

// Neighbours in the order they are tried: ties go to the upper, then the left one.
constexpr int neighbour_dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
constexpr int neighbour_dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};

void build_trackmap(Game& g) {
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            unsigned char& cell = g.mob3_trackmap[row][col];
            if (g.mapa[row][col] == wall || row == closed_row)
                cell = blocked;
            else
                cell =
                    static_cast<unsigned char>(std::max(std::abs(g.x - col), std::abs(g.y - row)));
        }
}

unsigned char track(const Game& g, int col, int row) {
    return on_board(col, row) ? g.mob3_trackmap[row][col] : blocked;
}

} // namespace

void move_mob3(Game& g) {
    build_trackmap(g);

    unsigned char lowest = blocked;
    for (int i = 0; i < 8; ++i) {
        unsigned char value = track(g, g.mob3_x + neighbour_dx[i], g.mob3_y + neighbour_dy[i]);
        if (value < lowest) lowest = value;
    }
    if (lowest == blocked) return;

    for (int i = 0; i < 8; ++i)
        if (track(g, g.mob3_x + neighbour_dx[i], g.mob3_y + neighbour_dy[i]) == lowest) {
            g.mob3_x += neighbour_dx[i];
            g.mob3_y += neighbour_dy[i];
            return;
        }
}
