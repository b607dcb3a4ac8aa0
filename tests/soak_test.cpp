// Thousands of ticks of random play on random boards, checking after every pass that
// nothing has left the board and the counters make sense. Run under the sanitizers, this
// also catches any read or write outside the grids.
#include <gtest/gtest.h>
#include <random>

#include "game/loop.h"
#include "game/player.h"
#include "test_support.h"

namespace {

std::string random_map(std::mt19937& rng, int kind) {
    std::string text;
    auto pick = [&](int n) { return static_cast<int>(rng() % n); };
    if (kind == 0) { // junk: any bytes, any length
        int length = pick(3000);
        for (int i = 0; i < length; ++i) text += static_cast<char>(pick(256));
        return text;
    }
    // Boards of walls, dots and floor; kind 1 has no border at all.
    for (int row = 0; row < board_size; ++row) {
        for (int col = 0; col < board_size; ++col) {
            bool border = row == 0 || col == 0 || row == 31 || col == 31;
            int roll = pick(10);
            text += kind == 2 && border ? 'X' : roll < 3 ? 'X' : roll < 8 ? '.' : ' ';
        }
        text += '\n';
    }
    return text;
}

void check_invariants(const Game& g, int mob2_start_x, int mob3_start_x) {
    ASSERT_TRUE(on_board(g.x, g.y));
    ASSERT_TRUE(on_board(g.mob1_x, g.mob1_y));
    ASSERT_TRUE(on_board(g.mob2_x, g.mob2_y));
    ASSERT_TRUE(on_board(g.mob3_x, g.mob3_y));
    // A mob may start on a wall if the map puts one there; once it moves, never again.
    if (g.mob2_x != mob2_start_x || g.mob2_y != 29) {
        ASSERT_NE(g.mapa[g.mob2_y][g.mob2_x], wall);
        ASSERT_NE(g.mob2_y, closed_row);
    }
    if (g.mob3_x != mob3_start_x || g.mob3_y != 29) {
        ASSERT_NE(g.mapa[g.mob3_y][g.mob3_x], wall);
        ASSERT_NE(g.mob3_y, closed_row);
    }
    ASSERT_LE(g.score, g.max);
    ASSERT_GE(g.lives, 0);
    ASSERT_LE(g.lives, 3);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(&g.kursor[34][4]), 5), "SCORE");
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(&g.kursor[34][12]), 5), "LIVES");
    for (int col = 2; col <= 69; ++col) ASSERT_EQ(g.kursor[38][col], shade);
}

} // namespace

TEST(Soak, RandomPlayOnRandomBoardsKeepsEveryoneOnTheBoard) {
    std::mt19937 rng(20261207);
    const int keys[] = {key_up, key_down, key_left, key_right, 0xE0, 0, 'h', 200};
    long total_ticks = 0;
    for (int game = 0; game < 240; ++game) {
        Game& g = start_on(random_map(rng, game % 3));
        fake::console.generator = static_cast<std::uint32_t>(rng()) | 1;
        Ending ending = Ending::none;
        for (int pass = 0; pass < 1500 && ending == Ending::none; ++pass) {
            if (rng() % 2 == 0) fake::press(keys[rng() % 8], fake::console.now_ms);
            ending = run_pass(g);
            check_invariants(g, 1, 29);
            if (HasFatalFailure()) return;
        }
        EXPECT_NE(ending, Ending::escape);
        total_ticks += g.time_mob;
    }
    EXPECT_GT(total_ticks, 5000);
}
