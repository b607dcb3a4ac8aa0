#include <gtest/gtest.h>

#include "console/buffer.h"
#include "game/loop.h"
#include "game/player.h"
#include "test_support.h"

using fake::row_text;

namespace {

// Dots right of the start, a wall below it, and a dot far away so that the game goes on.
Game& small_game() {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    set_cell(board, 3, 1, '.');
    set_cell(board, 1, 2, 'X');
    set_cell(board, 20, 20, '.');
    return start_on(map_text(board));
}

std::string readout(const Game& g) {
    return std::string(reinterpret_cast<const char*>(&g.kursor[35][3]), 7);
}

} // namespace

TEST(Player, MovesEatsAndCounts) {
    Game& g = small_game();
    EXPECT_EQ(handle_key(g, key_right), Ending::none);
    EXPECT_EQ(g.x, 2);
    EXPECT_EQ(g.score, 1);
    EXPECT_EQ(g.food[1][2], ' ');
    EXPECT_EQ(g.kursor[1][1], ' ');
    EXPECT_EQ(g.kursor[1][2], '*');
    EXPECT_EQ(readout(g), "001/003");

    EXPECT_EQ(handle_key(g, key_left), Ending::none);
    EXPECT_EQ(g.score, 1) << "an eaten cell stays eaten";
    // Each direction, as its plain byte.
    handle_key(g, 'P');
    EXPECT_EQ(g.y, 1) << "wall below";
    handle_key(g, 'M');
    handle_key(g, 'P');
    EXPECT_EQ(g.y, 2);
    handle_key(g, 'H');
    EXPECT_EQ(g.y, 1);
    // Typed letters move only in upper case.
    handle_key(g, 'm');
    EXPECT_EQ(g.x, 2);
}

TEST(Player, ABlockedOrIdleKeyStillRedrawsThePlayerAndTheReadout) {
    Game& g = small_game();
    g.kursor[1][1] = 'A'; // a mob's glyph drawn over the player
    EXPECT_EQ(handle_key(g, key_down), Ending::none);
    EXPECT_EQ(g.y, 1);
    EXPECT_EQ(g.kursor[1][1], '*');
    EXPECT_EQ(readout(g), "000/003");
    // An arrow key's prefix moves nothing but is handled like any other code.
    g.kursor[35][3] = shade;
    handle_key(g, 0xE0);
    EXPECT_EQ(readout(g), "000/003");
}

TEST(Player, TheBoardsEdgeStopsThePlayerEvenWithoutAWall) {
    std::string open_board;
    for (int row = 0; row < board_size; ++row) open_board += std::string(board_size, ' ') + "\n";
    Game& g = start_on(open_board + "");
    g.max = 99; // keep the game from being won
    handle_key(g, key_up);
    handle_key(g, key_up);
    EXPECT_EQ(g.y, 0);
    handle_key(g, key_left);
    handle_key(g, key_left);
    EXPECT_EQ(g.x, 0);
    // The far edges are reached, and not passed.
    for (int i = 0; i < 40; ++i) {
        handle_key(g, key_down);
        handle_key(g, key_right);
    }
    EXPECT_EQ(g.x, 31);
    EXPECT_EQ(g.y, 31);
}

TEST(Player, ADotHiddenUnderAMobIsLeftForLater) {
    Game& g = small_game();
    g.kursor[1][2] = 'A';
    handle_key(g, key_right);
    EXPECT_EQ(g.x, 2);
    EXPECT_EQ(g.score, 0);
    EXPECT_EQ(g.food[1][2], '.');
    handle_key(g, key_left);
    // The next tick's refresh brings the dot back, and then it can be eaten.
    fake::console.now_ms = tick_ms;
    run_pass(g);
    EXPECT_EQ(g.kursor[1][2], '.');
    handle_key(g, key_right);
    EXPECT_EQ(g.score, 1);
}

TEST(Player, ReadoutsShowThreeDigitsWithLeadingZeros) {
    Screen kursor{};
    write_score_readout(kursor, 7, 120);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&kursor[35][3]), 7), "007/120");
    write_score_readout(kursor, 1234, 1000);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&kursor[35][3]), 7), "234/000");
}

TEST(Player, EscapeQuitsAtOnce) {
    Game& g = small_game();
    fake::press(key_escape);
    EXPECT_EQ(play_until(g, 10'000), Ending::escape);
    EXPECT_TRUE(fake::console.printed.empty());
    EXPECT_TRUE(fake::console.sleeps.empty());
    EXPECT_EQ(fake::console.frames.size(), 1u) << "only the start-up frame";
}

TEST(Player, TheLastDotWins) {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    Game& g = start_on(map_text(board));
    fake::press_arrow(key_right, 100);
    EXPECT_EQ(play_until(g, 10'000), Ending::won);
    EXPECT_EQ(fake::console.printed, std::vector<std::string>{"Well done!"});
    ASSERT_GE(fake::console.events.size(), 3u);
    auto tail =
        std::vector<std::string>(fake::console.events.end() - 3, fake::console.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"clear", "print Well done!", "sleep 500"}));
}

TEST(Player, WithNoDotsTheFirstKeyOtherThanEscapeWins) {
    Game& g = start_on(map_text(walled_board()));
    EXPECT_EQ(handle_key(g, 0xE0), Ending::won);
    Game& h = start_on(map_text(walled_board()));
    EXPECT_EQ(handle_key(h, key_escape), Ending::escape);
}
