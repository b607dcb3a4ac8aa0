#include <gtest/gtest.h>

#include "game/loop.h"
#include "mobs/mobs.h"
#include "test_support.h"

namespace {

std::string open_ground() {
    auto board = walled_board();
    set_cell(board, 30, 30, '.'); // something to eat, so no key wins
    return map_text(board);
}

std::string borderless() {
    std::string text;
    for (int row = 0; row < board_size; ++row) text += std::string(board_size, ' ') + "\n";
    return text;
}

void ticks(Game& g, int count) {
    for (int i = 0; i < count; ++i) ASSERT_EQ(mob_tick(g), Ending::none);
}

} // namespace

// ---- the patroller -------------------------------------------------------------------------

TEST(Patroller, WalksItsRectangleAndIsBackAfter24Ticks) {
    Game& g = start_on(open_ground());
    ticks(g, 10);
    EXPECT_EQ(g.mob1_x, 11);
    EXPECT_EQ(g.mob1_y, 3);
    ticks(g, 2);
    EXPECT_EQ(g.mob1_y, 5);
    ticks(g, 10);
    EXPECT_EQ(g.mob1_x, 1);
    ticks(g, 2);
    EXPECT_EQ(g.mob1_x, 1);
    EXPECT_EQ(g.mob1_y, 3);
    EXPECT_EQ(g.mob_stage, 0);
    ticks(g, 1);
    EXPECT_EQ(g.mob1_x, 2);
}

// ---- the wanderer --------------------------------------------------------------------------

TEST(Wanderer, DrawsItsStepXFirstThenY) {
    Game& g = start_on(open_ground());
    fake::script_randoms({2, 1}); // (+1, 0)
    move_mob2(g);
    EXPECT_EQ(g.mob2_x, 2);
    EXPECT_EQ(g.mob2_y, 29);
    EXPECT_EQ(g.mob2_map[29][2], 'X');
    fake::script_randoms({1 + 3 * 100, 0}); // (0, -1), from values far above 2
    move_mob2(g);
    EXPECT_EQ(g.mob2_y, 28);
    EXPECT_EQ(g.kursor[28][2], 'A');
}

TEST(Wanderer, RedrawsUntilTheStepIsFreeAndAvoidsItsTrail) {
    Game& g = start_on(open_ground());
    // Right twice, then left onto its trail is refused and right is drawn again.
    fake::script_randoms({2, 1, 2, 1, 0, 1, 2, 1});
    move_mob2(g);
    move_mob2(g);
    move_mob2(g);
    EXPECT_EQ(g.mob2_x, 4) << "the cell it came from is remembered";
    EXPECT_TRUE(fake::console.randoms.empty());
}

TEST(Wanderer, PassesDiagonallyBetweenWallsThatTouchAtACorner) {
    auto board = walled_board();
    set_cell(board, 6, 10, 'X');
    set_cell(board, 5, 9, 'X');
    Game& g = start_on(map_text(board));
    g.mob2_x = 5;
    g.mob2_y = 10;
    fake::script_randoms({2, 0}); // (+1, -1)
    move_mob2(g);
    EXPECT_EQ(g.mob2_x, 6);
    EXPECT_EQ(g.mob2_y, 9);
}

TEST(Wanderer, NeverEntersRowOne) {
    auto board = walled_board();
    for (int col = 4; col <= 6; ++col) set_cell(board, col, 3, 'X');
    set_cell(board, 4, 2, 'X');
    set_cell(board, 6, 2, 'X');
    Game& g = start_on(map_text(board));
    g.mob2_x = 5;
    g.mob2_y = 2;
    fake::script_randoms({1, 0, 0, 0, 1, 1}); // up and up-left refused, then staying put
    move_mob2(g);
    EXPECT_EQ(g.mob2_y, 2);
    EXPECT_TRUE(fake::console.randoms.empty());
    // Now its own cell is remembered too: only row 1 is open, so it stays without redrawing.
    fake::script_randoms({1, 0});
    move_mob2(g);
    EXPECT_EQ(g.mob2_x, 5);
    EXPECT_EQ(g.mob2_y, 2);
    EXPECT_TRUE(fake::console.randoms.empty());
}

TEST(Wanderer, BoxedInByItsOwnTrailItStaysPutUntilItsMemoryClears) {
    auto board = walled_board();
    for (int col = 1; col <= 2; ++col) {
        set_cell(board, col, 28, 'X');
        set_cell(board, col, 30, 'X');
    }
    set_cell(board, 2, 29, 'X');
    Game& g = start_on(map_text(board));
    for (int t = 1; t <= 29; ++t) {
        ASSERT_EQ(mob_tick(g), Ending::none);
        EXPECT_EQ(g.kursor[29][1], 'A') << "drawn on tick " << t;
    }
    EXPECT_EQ(g.mob2_map[29][1], 'X');
    ticks(g, 1);
    EXPECT_EQ(g.mob_walk_counter, 0);
    EXPECT_EQ(g.mob2_map[29][1], ' ') << "the 30th tick clears its memory";
    EXPECT_EQ(g.mob2_x, 1);
    EXPECT_EQ(g.mob2_y, 29);
}

TEST(Wanderer, ItsMemoryIsTheBoardAgainEvery30Ticks) {
    Game& g = start_on(open_ground());
    ticks(g, 29);
    int trail = 0;
    for (int row = 2; row < 31; ++row)
        for (int col = 1; col < 31; ++col) trail += g.mob2_map[row][col] == 'X';
    EXPECT_GE(trail, 20);
    ticks(g, 1);
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            unsigned char expected = row == 1 && col == 1 ? 'X' : g.mapa[row][col];
            ASSERT_EQ(g.mob2_map[row][col], expected) << col << "," << row;
        }
}

TEST(Wanderer, TreatsCellsOffTheBoardAsWalls) {
    Game& g = start_on(borderless());
    g.mob2_x = 0;
    g.mob2_y = 31;
    fake::script_randoms({0, 2, 2, 1}); // off the corner is refused; then right
    move_mob2(g);
    EXPECT_EQ(g.mob2_x, 1);
    EXPECT_EQ(g.mob2_y, 31);
}

// ---- the chaser ----------------------------------------------------------------------------

TEST(Chaser, OnOpenGroundPrefersTheUpperOfEquallyNearCells) {
    Game& g = start_on(open_ground());
    g.x = 15;
    g.y = 10;
    g.mob3_x = 10;
    g.mob3_y = 10;
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 11);
    EXPECT_EQ(g.mob3_y, 9);
}

TEST(Chaser, BelowAPlayerInRowOneItStepsLeftThenBack) {
    Game& g = start_on(open_ground());
    g.x = 10;
    g.mob3_x = 10;
    g.mob3_y = 2;
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 9);
    EXPECT_EQ(g.mob3_y, 2);
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 10);
    EXPECT_EQ(g.mob3_y, 2);
}

TEST(Chaser, AmongEquallyNearCellsTakesTheLeftmostOfTheUpperOrLowerRow) {
    Game& g = start_on(open_ground());
    // Straight below the player: up-left, up and up-right are all nine rows away.
    g.x = 10;
    g.y = 5;
    g.mob3_x = 10;
    g.mob3_y = 15;
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 9);
    EXPECT_EQ(g.mob3_y, 14);
    // Straight above: likewise down-left, down and down-right.
    g.y = 25;
    g.mob3_x = 10;
    g.mob3_y = 15;
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 9);
    EXPECT_EQ(g.mob3_y, 16);
}

TEST(Chaser, MovesOnEverySecondTick) {
    Game& g = start_on(open_ground());
    ticks(g, 1);
    EXPECT_EQ(g.mob3_x, 29);
    ticks(g, 1);
    EXPECT_EQ(g.mob3_x, 28);
    EXPECT_EQ(g.mob3_y, 28);
    ticks(g, 1);
    EXPECT_EQ(g.mob3_x, 28);
    ticks(g, 1);
    EXPECT_EQ(g.mob3_x, 27);
    EXPECT_EQ(g.kursor[27][27], 'A');
}

TEST(Chaser, StaysOnlyWhenEveryNeighbourIsBlocked) {
    auto board = walled_board();
    for (int row = 9; row <= 11; ++row)
        for (int col = 9; col <= 11; ++col)
            if (row != 10 || col != 10) set_cell(board, col, row, 'X');
    Game& g = start_on(map_text(board));
    g.mob3_x = g.mob3_y = 10;
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 10);
    EXPECT_EQ(g.mob3_y, 10);
}

TEST(Chaser, TreatsCellsOffTheBoardAsBlocked) {
    Game& g = start_on(borderless());
    g.x = 0;
    g.y = 2;
    g.mob3_x = 0;
    g.mob3_y = 10;
    move_mob3(g);
    EXPECT_EQ(g.mob3_x, 0);
    EXPECT_EQ(g.mob3_y, 9);
}
