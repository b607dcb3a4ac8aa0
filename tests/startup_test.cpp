#include <gtest/gtest.h>

#include "game/startup.h"
#include "test_support.h"

using fake::row_text;

namespace {

std::vector<std::string> board_with_dots() {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    set_cell(board, 3, 1, '.');
    set_cell(board, 20, 20, '.');
    set_cell(board, 10, 10, 'X');
    return board;
}

} // namespace

TEST(StartUp, TheFirstFrameShowsBoardPlayerMobsAndEmptyPanel) {
    Game& g = start_on(map_text(board_with_dots()));
    ASSERT_EQ(fake::console.frames.size(), 1u);
    const fake::Frame& frame = fake::last_frame();

    EXPECT_EQ(row_text(frame, 0), std::string(32, '#') + std::string(48, ' '));
    EXPECT_EQ(row_text(frame, 1).substr(0, 5), "#*.." + std::string(" "));
    EXPECT_EQ(row_text(frame, 3).substr(0, 3), "#A ");
    EXPECT_EQ(row_text(frame, 10).substr(10, 1), "#");
    EXPECT_EQ(row_text(frame, 29).substr(0, 32), "#A" + std::string(27, ' ') + "A #");
    EXPECT_EQ(row_text(frame, 32), std::string(80, ' '));

    std::string shaded_panel = "  " + std::string(68, '#') + std::string(10, ' ');
    EXPECT_EQ(row_text(frame, 33), shaded_panel);
    EXPECT_EQ(row_text(frame, 34),
              "  ##SCORE###LIVES" + std::string(53, '#') + std::string(10, ' '));
    // Neither readout is written before the first key or the first tick.
    EXPECT_EQ(row_text(frame, 35), shaded_panel);
    EXPECT_EQ(row_text(frame, 39).substr(0, 79), shaded_panel.substr(0, 79));

    EXPECT_EQ(g.max, 3);
    EXPECT_EQ(g.lives, 3);
    EXPECT_TRUE(fake::console.seeded);
    EXPECT_TRUE(fake::console.cursor_hidden);
    EXPECT_TRUE(fake::console.parked);
}

TEST(StartUp, LayersStartFromTheBoard) {
    Game& g = start_on(map_text(board_with_dots()));
    EXPECT_EQ(g.food[1][2], '.');
    EXPECT_EQ(g.food[1][4], ' ');
    EXPECT_EQ(g.food[10][10], ' ');
    // Mob 2 remembers the walls and the player's starting cell as if it had been there.
    EXPECT_EQ(g.mob2_map[0][0], 'X');
    EXPECT_EQ(g.mob2_map[10][10], 'X');
    EXPECT_EQ(g.mob2_map[1][1], 'X');
    EXPECT_EQ(g.mob2_map[1][2], '.');
    EXPECT_EQ(g.mob3_trackmap[5][5], 0);
}

TEST(StartUp, OnlyDotsOnTheBoardCount) {
    // A 33rd line of dots lands in the spare row, off the board.
    std::string text = map_text(board_with_dots()) + std::string(32, '.') + "\n";
    EXPECT_EQ(start_on(text).max, 3);
    EXPECT_EQ(start_on(map_text(walled_board())).max, 0);
}

TEST(StartUp, EveryoneTakesTheirCellWhateverTheMapHoldsThere) {
    std::string solid;
    for (int row = 0; row < board_size; ++row) solid += std::string(board_size, 'X') + "\n";
    Game& g = start_on(solid);
    const fake::Frame& frame = fake::last_frame();
    EXPECT_EQ(frame[1 * 80 + 1], '*');
    EXPECT_EQ(frame[3 * 80 + 1], 'A');
    EXPECT_EQ(frame[29 * 80 + 29], 'A');
    EXPECT_EQ(g.x, 1);
    EXPECT_EQ(g.y, 1);
}

TEST(StartUp, TheClockOriginIsTakenAtTheEndJustBeforeTheFirstFrame) {
    fake::reset();
    fake::console.trace_clock = true;
    static Game g;
    start_game(g, file_with(map_text(walled_board())));
    EXPECT_EQ(fake::console.events,
              (std::vector<std::string>{"seed", "hide cursor", "clock", "park", "draw"}));
    EXPECT_EQ(g.time_mob, 0);
}
