#include <gtest/gtest.h>

#include "game/loop.h"
#include "game/player.h"
#include "test_support.h"

namespace {

// Open ground with a dot in the far corner, so that no key wins.
Game& quiet_game() {
    auto board = walled_board();
    set_cell(board, 30, 30, '.');
    return start_on(map_text(board));
}

void passes(Game& g, int count) {
    for (int i = 0; i < count; ++i) ASSERT_EQ(run_pass(g), Ending::none);
}

} // namespace

TEST(Loop, APassReadsAKeyTicksWhenDueDrawsAndSleeps) {
    Game& g = quiet_game();
    fake::console.events.clear();
    passes(g, 1);
    EXPECT_EQ(fake::console.events, (std::vector<std::string>{"draw", "sleep 10", "sleep 30"}));

    fake::console.now_ms = tick_ms;
    fake::console.events.clear();
    passes(g, 1);
    // The tick draws once with the lives readout, the pass once more.
    EXPECT_EQ(fake::console.events,
              (std::vector<std::string>{"draw", "draw", "sleep 10", "sleep 30"}));
}

TEST(Loop, TheFirstTickComesAfter200MsThenAboutEveryFifthPass) {
    Game& g = quiet_game();
    passes(g, 5); // 0, 40, ..., 160 ms
    EXPECT_EQ(g.time_mob, 0);
    passes(g, 1); // at 200 ms
    EXPECT_EQ(g.time_mob, 1);
    passes(g, 44); // up to 1,960 ms
    EXPECT_EQ(g.time_mob, 9);
    EXPECT_EQ(fake::console.now_ms, 2000);
}

TEST(Loop, ATickWithNoKeyKeepsThePlayerOnScreen) {
    Game& g = quiet_game();
    fake::console.now_ms = tick_ms;
    passes(g, 1);
    ASSERT_EQ(g.time_mob, 1);
    EXPECT_EQ(fake::last_frame()[1 * 80 + 1], '*');
}

TEST(Loop, ATickThatFellBehindIsMadeUpOnePerPass) {
    Game& g = quiet_game();
    fake::console.now_ms = 1000; // as if the machine had stalled for a second
    passes(g, 1);
    EXPECT_EQ(g.time_mob, 1);
    passes(g, 3);
    EXPECT_EQ(g.time_mob, 4);
    passes(g, 10);
    // Caught up (sec is 7 at 1,560 ms): from here on the normal beat.
    EXPECT_EQ(g.time_mob, 7);
}

TEST(Loop, OneKeyCodePerPassAndAnArrowTakesTwoPasses) {
    Game& g = quiet_game();
    fake::press_arrow(key_right);
    fake::press(key_right);
    passes(g, 1);
    EXPECT_EQ(g.x, 1) << "the prefix alone moves nothing";
    passes(g, 1);
    EXPECT_EQ(g.x, 2);
    passes(g, 1);
    EXPECT_EQ(g.x, 3);
    EXPECT_TRUE(fake::console.keys.empty());
}

TEST(Loop, TheTickRefreshBringsBackDotsAndClearsOpenCellsButNotWalls) {
    auto board = walled_board();
    set_cell(board, 5, 1, '.');
    set_cell(board, 6, 3, 'X'); // on mob 1's way
    set_cell(board, 30, 30, '.');
    Game& g = start_on(map_text(board));
    g.kursor[1][5] = 'A';
    g.kursor[2][9] = 'A';
    for (int t = 1; t <= 5; ++t) {
        fake::console.now_ms = t * tick_ms;
        passes(g, 1);
    }
    EXPECT_EQ(g.kursor[1][5], '.');
    EXPECT_EQ(g.kursor[2][9], ' ');
    EXPECT_EQ(g.mob1_x, 6);
    // Mob 1 has walked on through the wall, and its glyph stays there.
    fake::console.now_ms = 6 * tick_ms;
    passes(g, 1);
    EXPECT_EQ(g.mob1_x, 7);
    EXPECT_EQ(g.kursor[3][6], 'A');
}

TEST(Loop, TheBeatHoldsAfterMonthsOfPlay) {
    Game& g = quiet_game();
    // 45 days without a lost life: far past where 32-bit milliseconds, or the tick count
    // times 15, would have wrapped.
    const std::int64_t later = 45LL * 24 * 3600 * 1000;
    fake::console.now_ms = later;
    g.time_mob = static_cast<int>(later / tick_ms);
    passes(g, 50); // two seconds
    EXPECT_EQ(g.time_mob, later / tick_ms + 9);
    EXPECT_EQ(fake::console.now_ms, later + 2000);
}
