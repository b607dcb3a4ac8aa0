// The whole run as the player's shell sees it: files, exit status, the terminal handed back.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "game/game.h"
#include "game/player.h"
#include "test_support.h"

namespace {

class Run : public ::testing::Test {
  protected:
    void SetUp() override {
        old_dir = std::filesystem::current_path();
        std::filesystem::current_path(new_temp_dir("dotmaze-run-"));
        // As the system spells it (a temporary directory may be reached through a link or a
        // short name): the form the game's report must show.
        dir = std::filesystem::current_path();
        fake::reset();
    }
    void TearDown() override {
        std::filesystem::current_path(old_dir);
        std::filesystem::remove_all(dir);
    }
    // Binary, so that the file holds exactly `text` on every system.
    void write_map(const std::string& text) { std::ofstream("mapa.txt", std::ios::binary) << text; }

    std::filesystem::path dir, old_dir;
    Game game{};
};

} // namespace

TEST_F(Run, AMissingMapIsReportedAndTheTerminalIsNeverTouched) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_game(game, nullptr), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\"mapa.txt\""), std::string::npos) << err;
    EXPECT_NE(err.find(dir.string()), std::string::npos) << err;
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
    // ... and points the player at the maps that come with the game.
    if (const char* maps = shipped_maps_dir()) {
        EXPECT_NE(err.find(std::string("dotmaze ") + maps + "/mapa.txt"), err.npos) << err;
    }
    EXPECT_FALSE(fake::console.opened);
    EXPECT_TRUE(fake::console.frames.empty());
}

TEST_F(Run, AMapNamedOnTheCommandLineIsPlayedOrNamedInTheRefusal) {
    std::filesystem::create_directory("maps");
    std::ofstream("maps/small.txt", std::ios::binary) << map_text(walled_board());
    fake::press(key_escape, 100);
    EXPECT_EQ(run_game(game, "maps/small.txt"), 0);
    EXPECT_FALSE(fake::console.frames.empty());

    fake::reset();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_game(game, "maps"), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\"maps\": it is a directory"), std::string::npos) << err;
    EXPECT_FALSE(fake::console.opened);
}

TEST_F(Run, AConsoleThatCannotBeOpenedStopsTheGameBeforeItStarts) {
    write_map(map_text(walled_board()));
    fake::console.open_fails = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_game(game, nullptr), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("refuses"), std::string::npos);
    EXPECT_TRUE(fake::console.frames.empty());
}

TEST_F(Run, EveryEndingGivesTheTerminalBackAndLeavesItsWordsOnIt) {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    write_map(map_text(board));

    fake::press(key_escape, 500);
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_game(game, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(fake::console.closed);

    fake::reset();
    fake::press(key_right, 500);
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_game(game, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Well done!\n");
    EXPECT_TRUE(fake::console.closed);

    // Down into the patroller's way and wait there, a wall keeping the player from going on.
    fake::reset();
    fake::console.deadline_ms = 200'000;
    set_cell(board, 30, 30, '.');
    set_cell(board, 1, 4, 'X');
    write_map(map_text(board));
    for (int t = 100; t < 100'000; t += 500) fake::press(key_down, t);
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_game(game, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GAME OVER!\n");
    EXPECT_EQ(game.lives, 0);
    EXPECT_TRUE(fake::console.closed);
}

TEST_F(Run, AConsoleWithOneScreenShowsTheEndingOnce) {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    write_map(map_text(board));
    fake::console.own_screen = false; // the words the game printed are still in view
    fake::press(key_right, 500);
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_game(game, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(fake::console.printed, std::vector<std::string>{"Well done!"});
}

TEST_F(Run, SeveralMapsArePlayedInTurnWithTheLivesLeft) {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    std::ofstream("a.txt", std::ios::binary) << map_text(board);
    set_cell(board, 10, 10, 'X');
    std::ofstream("b.txt", std::ios::binary) << map_text(board);
    std::deque<fake::Key> downs; // into the mobs' way, again and again: a game over
    for (int t = 100; t < 100'000; t += 500) downs.push_back({t, key_down});
    struct {
        std::string words, seen; // the map's name and cell (10, 10), and the lives shown last
        std::deque<fake::Key> keys;
    } cases[] = {{"Well done!\n", "bX2", {{100, key_down}, {600, key_down}, {9000, key_right}}},
                 {"GAME OVER!\n", "a 0", downs},
                 {"", "bX3", {{100, key_right}, {5000, key_escape}}}};
    for (const auto& c : cases) {
        fake::reset();
        fake::console.keys = c.keys;
        fake::press(key_right, 20000); // wins the second map
        testing::internal::CaptureStdout();
        EXPECT_EQ(run_game(game, {"a.txt", "b.txt"}), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.words);
        const fake::Frame& f = fake::last_frame();
        EXPECT_EQ(std::string({char(f[33]), char(game.mapa[10][10]), char(f[35 * 80 + 14])}),
                  c.seen);
    }
}
