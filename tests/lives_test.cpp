#include <algorithm>
#include <gtest/gtest.h>

#include "game/loop.h"
#include "game/player.h"
#include "test_support.h"

namespace {

// The player waits on mob 1's way, at (col, 3); the patroller arrives on tick col - 1.
Game& waiting_on_patrol(int col) {
    auto board = walled_board();
    set_cell(board, 30, 30, '.');
    Game& g = start_on(map_text(board));
    g.kursor[1][1] = ' ';
    g.x = col;
    g.y = 3;
    return g;
}

std::vector<std::string> events_from(std::size_t first) {
    const auto& events = fake::console.events;
    return {events.begin() + static_cast<long>(first), events.end()};
}

} // namespace

TEST(Lives, TwoMobsOnThePlayerCostOneLife) {
    Game& g = waiting_on_patrol(2);
    g.mob2_x = 2;
    g.mob2_y = 3;
    fake::script_randoms({1, 1}); // mob 2 stays where it is
    EXPECT_EQ(mob_tick(g), Ending::none);
    EXPECT_EQ(g.lives, 2);
    EXPECT_EQ(fake::console.bells, 1);
    EXPECT_EQ(g.x, 1);
    EXPECT_EQ(g.y, 1);
}

TEST(Lives, TheWandererAndTheChaserEachCatchOnTheirOwn) {
    Game& g = waiting_on_patrol(20); // far from the patroller's reach this tick
    g.y = 10;
    g.mob2_x = 19;
    g.mob2_y = 10;
    fake::script_randoms({2, 1}); // (+1, 0): onto the player
    EXPECT_EQ(mob_tick(g), Ending::none);
    EXPECT_EQ(g.lives, 2);

    g.x = 20;
    g.y = 10;
    g.mob2_x = 1;
    g.mob2_y = 29;
    g.mob3_x = 21;
    g.mob3_y = 11;
    g.time_mob_div = 1; // the chaser moves on this tick
    fake::script_randoms({1, 1});
    EXPECT_EQ(mob_tick(g), Ending::none);
    EXPECT_EQ(g.mob3_x, 20) << "the chaser stepped onto the player";
    EXPECT_EQ(g.lives, 1);
}

TEST(Lives, TradingCellsWithAMobIsNotACatch) {
    Game& g = waiting_on_patrol(2);
    fake::press(key_left, 160); // onto mob 1's cell just before it moves onto ours
    EXPECT_EQ(play_until(g, 250), Ending::none);
    EXPECT_EQ(g.x, 1);
    EXPECT_EQ(g.mob1_x, 2);
    EXPECT_EQ(g.lives, 3);
    EXPECT_EQ(fake::console.bells, 0);
}

TEST(Lives, ACatchRingsAndBlinksThePlayerAtTheStartForThreeSeconds) {
    Game& g = waiting_on_patrol(3);
    EXPECT_EQ(play_until(g, 399), Ending::none);
    EXPECT_EQ(g.kursor[35][14], '3');
    std::size_t first_event = fake::console.events.size();
    std::size_t first_frame = fake::console.frames.size();

    EXPECT_EQ(play_until(g, 3599), Ending::none); // caught on the tick at 400 ms
    EXPECT_EQ(g.lives, 2);
    std::vector<std::string> blink = {"bell"};
    for (int i = 0; i < 3; ++i)
        blink.insert(blink.end(), {"draw", "sleep 500", "draw", "sleep 500"});
    blink.push_back("draw");
    auto events = events_from(first_event);
    ASSERT_GE(events.size(), blink.size());
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 14), blink);

    // The blink's six frames: the start cell off and on, the old count still showing.
    for (int i = 0; i < 6; ++i) {
        const fake::Frame& frame = fake::console.frames[first_frame + i];
        EXPECT_EQ(frame[1 * 80 + 1], i % 2 == 0 ? ' ' : '*') << "blink frame " << i;
        EXPECT_EQ(frame[35 * 80 + 14], '3') << "blink frame " << i;
    }
    EXPECT_EQ(fake::console.frames[first_frame + 6][35 * 80 + 14], '2');

    // The clock starts again after the blink: no burst of ticks, the next one 200 ms later.
    EXPECT_EQ(g.start, 3400);
    EXPECT_EQ(g.time_mob, 0);
    int stage = g.mob_stage;
    EXPECT_EQ(play_until(g, 3650), Ending::none);
    EXPECT_EQ(g.time_mob, 1);
    EXPECT_EQ(g.mob_stage, stage + 1) << "the patrol goes on from where it was";
    EXPECT_EQ(g.mob1_x, 4);
}

TEST(Lives, TheLastLifeEndsTheGameWithGameOver) {
    Game& g = waiting_on_patrol(2);
    g.lives = 1;
    EXPECT_EQ(play_until(g, 100'000), Ending::game_over);
    EXPECT_EQ(g.lives, 0);
    EXPECT_EQ(fake::console.printed, std::vector<std::string>{"GAME OVER!"});
    auto events = events_from(fake::console.events.size() - 4);
    EXPECT_EQ(events,
              (std::vector<std::string>{"sleep 500", "draw", "print GAME OVER!", "sleep 1000"}));
    EXPECT_EQ(fake::last_frame()[35 * 80 + 14], '0');
}

TEST(Lives, KeysPressedDuringTheBlinkAreWorkedOffAfterwardsOnePerPass) {
    Game& g = waiting_on_patrol(2);
    for (int i = 0; i < 3; ++i) fake::press(key_right, 1000);
    EXPECT_EQ(play_until(g, 3200), Ending::none); // the blink ran from 200 to 3,200 ms
    EXPECT_EQ(g.x, 1);
    EXPECT_EQ(play_until(g, 3240), Ending::none);
    EXPECT_EQ(g.x, 2);
    EXPECT_EQ(play_until(g, 3320), Ending::none);
    EXPECT_EQ(g.x, 4);
}
