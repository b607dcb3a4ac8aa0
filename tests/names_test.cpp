// A map's name is whatever bytes its maker chose: each place that prints one shows its control
// characters as \xHH, so that none reaches the terminal as a command.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "check/check.h"
#include "history/scores.h"
#include "run/run.h"
#include "test_support.h"

namespace {

// Everything `print` writes to stdout and stderr.
template <typename Print> std::string printed(Print print) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    print();
    std::string out = testing::internal::GetCapturedStdout();
    return out + testing::internal::GetCapturedStderr();
}

} // namespace

#ifndef _WIN32 // Windows refuses control characters in a file's name
TEST(Names, ControlCharactersInAMapsNameArePrintedEscaped) {
    auto old_dir = std::filesystem::current_path();
    std::filesystem::current_path(new_temp_dir("dotmaze-names-"));
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    std::ofstream("a.txt", std::ios::binary) << map_text(board);
    struct Row {
        std::string name, shown;
    } rows[] = {
        {"esc\x1b[31mRED.txt", "esc\\x1b[31mRED.txt"},
        {"tab\tand\rCR\x7f.txt", "tab\\x09and\\x0dCR\\x7f.txt"},
        {"c1 \xC2\x9B"
         "2J.txt",
         "c1 \\xc2\\x9b2J.txt"},
        {"caf\xC3\xA9 \xC2\xA0(1).txt", "caf\xC3\xA9 \xC2\xA0(1).txt"},
    };
    for (const Row& row : rows) {
        fresh_state_home();
        std::ofstream(row.name, std::ios::binary) << map_text(board);
        const std::vector<const char*> maps{"a.txt", row.name.c_str()};
        EXPECT_EQ(printed([&] { check_maps({row.name.c_str()}, true); }),
                  row.shown + ": no errors, no warnings\n");
        fake::reset();
        fake::press(key_right, 300);
        fake::press(key_right, 4000);
        Game game{};
        std::string after = printed([&] { run_game(game, maps); });
        EXPECT_NE(after.find("\n" + row.shown + ": won in "), std::string::npos) << after;
        ASSERT_EQ(fake::console.printed.size(), 3u);
        EXPECT_EQ(fake::console.printed[1], "\nNext: " + row.shown + " (2 of 2)");
        EXPECT_EQ(printed([] { show_best_games({}); }).find(row.shown + "\n   #  result"), 0u);
        // A map that is not there: refused before the game, as the first map's is.
        std::string gone = "gone " + row.name;
        const std::vector<const char*> gone_maps{"a.txt", gone.c_str()};
        fake::reset();
        EXPECT_EQ(printed([&] { EXPECT_EQ(run_game(game, gone_maps), 1); }),
                  "dotmaze: cannot open \"gone " + row.shown + "\": No such file or directory\n");
        EXPECT_FALSE(fake::console.opened);
        EXPECT_EQ(printed([&] { show_best_games({gone.c_str()}); }),
                  "No games recorded on gone " + row.shown + ".\n");
        EXPECT_EQ(printed([&] { replay_game(game, gone.c_str(), 1); }),
                  "dotmaze: cannot open the replay \"gone " + row.shown +
                      "\": No such file or directory\n");
    }
    std::filesystem::current_path(old_dir);
}
#endif
