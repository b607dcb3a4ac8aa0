// The whole run as the player's shell sees it: files, exit status, the terminal handed back.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "game/player.h"
#include "history/replay.h"
#include "run/run.h"
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
        fresh_state_home();
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
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Well done!\nmapa.txt: won in 0:00.5, 3 lives left: 1st of 1\n");
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
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "GAME OVER!\nmapa.txt: lost with 0 of 2 dots: 1st of 1\n");
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
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nmapa.txt: won in 0:00.5, 3 lives left: 1st of 1\n");
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
    } cases[] = {
        {"Well done!\na.txt: won in 0:09.0, 2 lives left: 1st of 1\n"
         "b.txt: won in 0:08.5, 2 lives left: 1st of 1\n",
         "bX2",
         {{100, key_down}, {600, key_down}, {9000, key_right}}},
        {"GAME OVER!\na.txt: lost with 0 of 1 dots: 2nd of 2 (best 0:09.0)\n", "a 0", downs},
        {"a.txt: won in 0:00.1, 3 lives left: 1st of 3\n",
         "bX3",
         {{100, key_right}, {5000, key_escape}}}};
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

// ---- replays -----------------------------------------------------------------------------------

namespace {

// A dot eaten, then down into the patroller's way, a wall keeping the player there: caught, a
// blink, then Escape.
void script_caught_then_escape() {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    set_cell(board, 30, 30, '.');
    set_cell(board, 2, 4, 'X');
    std::ofstream("mapa.txt", std::ios::binary) << map_text(board);
    fake::press(key_right, 300);
    fake::press(key_down, 700);
    for (int t = 900; t < 6000; t += 300) fake::press_arrow(key_down, t);
    fake::press(key_escape, 7000);
}

// The frames as the rules drew them: the viewer's lines right of the board (rows 2 and 3)
// blanked.
std::vector<fake::Frame> game_frames(std::vector<fake::Frame> frames) {
    for (fake::Frame& f : frames)
        for (int row : {2, 3}) std::fill(&f[row * 80 + 33], &f[row * 80 + 80], ' ');
    return frames;
}

std::string text_of(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST_F(Run, ARecordedGameReplaysToTheSameFramesAndEnding) {
    script_caught_then_escape();
    ASSERT_EQ(record_game(game, "game.replay", {}), 0);
    auto recorded = fake::console;
    ASSERT_EQ(recorded.bells, 1);
    std::remove("mapa.txt"); // the replay needs no map

    fake::reset();
    EXPECT_EQ(replay_game(game, "game.replay", 4), 0);
    // The last frame drawn again without the viewer's lines, as the replay ends.
    auto frames = fake::console.frames;
    EXPECT_TRUE(frames.back() == recorded.frames.back());
    frames.pop_back();
    EXPECT_TRUE(game_frames(frames) == recorded.frames);
    EXPECT_EQ(fake::console.bells, 1);
    EXPECT_TRUE(fake::console.closed);
    // Paced by the recorded clock, four times as fast.
    EXPECT_NEAR(fake::console.now_ms, recorded.now_ms / 4, 100);

    // Escape on the keyboard stops a replay at once; other keys do nothing.
    fake::reset();
    fake::press('H', 100);
    fake::press(key_escape, 500);
    EXPECT_EQ(replay_game(game, "game.replay", 1), 0);
    EXPECT_NEAR(fake::console.now_ms, 500, 20);
    EXPECT_TRUE(fake::console.closed);
}

TEST_F(Run, ALevelsGameReplaysWithItsMapsAndTheirNames) {
    auto board = walled_board();
    set_cell(board, 2, 1, '.');
    std::ofstream("a.txt", std::ios::binary) << map_text(board);
    std::ofstream("b.txt", std::ios::binary) << map_text(board);
    fake::press(key_right, 300);
    fake::press(key_right, 4000);
    ASSERT_EQ(record_game(game, "game.replay", {"a.txt", "b.txt"}), 0);
    auto recorded = fake::console;
    ASSERT_EQ(recorded.printed.size(), 3u); // "Well done!", "Next: ...", "Well done!"
    EXPECT_EQ(recorded.printed[1], "\nNext: b.txt (2 of 2)");
    std::remove("a.txt");
    std::remove("b.txt");

    fake::reset();
    testing::internal::CaptureStdout();
    EXPECT_EQ(replay_game(game, "game.replay", 16), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Well done!\n");
    EXPECT_TRUE(game_frames(fake::console.frames) == recorded.frames);
    EXPECT_EQ(fake::console.printed, recorded.printed);
}

// Recorded by the fake console, so it plays to the same end on every system the tests run on,
// whatever random numbers its C library would draw.
const std::string committed = REPLAYS_DIR "/caught_three_times.replay";

TEST_F(Run, TheCommittedReplayPlaysToItsEnd) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(replay_game(game, committed.c_str(), 16), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GAME OVER!\n");
    EXPECT_EQ(fake::console.bells, 3);
}

TEST_F(Run, AGameEndedByASignalReplaysToWhereItEnded) {
    script_caught_then_escape();
    fake::console.deadline_ms = 2000;
    EXPECT_THROW(record_game(game, "game.replay", {}), fake::TimeUp);
    ASSERT_NE(fake::console.last_words, nullptr);
    fake::console.last_words(15); // as the terminal calls it on SIGTERM
    stop_tap();
    EXPECT_NE(text_of("game.replay").find("\nend signal 15\n"), std::string::npos);

    fake::reset();
    testing::internal::CaptureStdout();
    EXPECT_EQ(replay_game(game, "game.replay", 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The recorded game was ended here by signal 15.\n");
}

// The map's name typed where the replay's goes: refused before the game, the map kept.
TEST_F(Run, ARecordingNeverReplacesWhatIsNotAReplay) {
    write_map(map_text(walled_board()));
    fake::press(key_escape, 100);
    testing::internal::CaptureStderr();
    EXPECT_EQ(record_game(game, "mapa.txt", {}), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("other than a replay"),
              std::string::npos);
    EXPECT_EQ(text_of("mapa.txt"), map_text(walled_board()));
    EXPECT_FALSE(fake::console.opened);
}

// The replay cannot be written at the end (every name for its new file taken meanwhile), or
// memory runs out mid-game: status 1 and the reason, the terminal given back, the file there
// before kept, and no empty placeholder left where there was none.
TEST_F(Run, AReplayThatCannotBeWrittenIsStatusOneAndLeavesTheFileAsItWas) {
    const std::string old = "dotmaze replay 1, game 0.9\n";
    const struct {
        bool there, out_of_memory;
        std::string why;
    } rows[] = {{false, false, "no free name for a temporary file beside it"},
                {true, false, "no free name for a temporary file beside it"},
                {false, true, "dotmaze: out of memory"},
                {true, true, "dotmaze: out of memory"}};
    for (const auto& row : rows) {
        fake::reset();
        script_caught_then_escape();
        auto file = new_temp_dir("replay-") / "game.replay";
        if (row.there) std::ofstream(file, std::ios::binary) << old;
        if (row.out_of_memory) fake::console.out_of_memory_at_ms = 3000;
        fake::console.meanwhile_at_ms = 3000;
        if (!row.out_of_memory) fake::console.meanwhile = [&] { take_temporary_names(file); };
        testing::internal::CaptureStderr();
        EXPECT_EQ(record_game(game, file.string().c_str(), {}), 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(row.why), std::string::npos) << err;
        EXPECT_TRUE(fake::console.closed);
        EXPECT_EQ(std::filesystem::exists(file), row.there);
        if (row.there) { EXPECT_EQ(text_of(file.string()), old); }
        std::filesystem::remove_all(file.parent_path());
    }
}

// Each row edits the committed replay; the refusal must name the place.
TEST_F(Run, ABrokenOrEditedReplayIsRefusedNamingTheFrame) {
    const std::string good = text_of(committed);
    auto line_of = [&](std::size_t at) {
        return std::to_string(std::count(good.begin(), good.begin() + at, '\n') + 1);
    };
    std::size_t key = good.find("+ k80 ");
    std::size_t half = good.find('\n', good.size() / 2) + 4;
    // Frame 10: a clock reading alone, after runs of 4 and 2 equal frames.
    std::size_t clock = good.find("\n40\n40 r3t0") + 1;
    std::size_t k75 = good.find("+ k75 ");
    std::string crlf;
    for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    struct Row {
        std::string text, expected;
        bool during_play;
        int status = 1;
    } rows[] = {
        {crlf, "", true, 0}, // a copy through Windows plays as the original
        {good.substr(0, clock) + "k40" + good.substr(clock + 2),
         "at frame 10 (line " + line_of(clock) +
             "): the game takes a clock reading where the file has a key code",
         true},
        {good.substr(0, k75) + "+ k75x" + good.substr(k75 + 5),
         "line " + line_of(k75) + " (frame 16): \"k75x\": a key code is k and 0 to 255", false},
        {good.substr(0, good.rfind("end ")) + "end escape\n",
         "the game ends with game_over, the recording with escape", true},
        {"dotmaze replay 1, game 1.0\x1b[2J" + good.substr(good.find('\n')),
         "line 1: the game's version holds a control character", false},
        {good.substr(0, 50) + "X" + good.substr(50), "line 3: a board row must be 32 cells", false},
        {good.substr(0, half), "line " + line_of(half) + " (frame", false},
        {good.substr(0, good.rfind("end ")), "cut short: it has no end line", false},
        {good.substr(0, key) + "+ k72 " + good.substr(key + 6),
         "(line " + line_of(key) + "): the screen is not the one recorded", true},
        {"dotmaze replay 2, game 9" + good.substr(good.find('\n')), "line 1: a replay of format 2",
         false},
        {"#!/bin/sh\n", "line 1: this is not a dotmaze replay", false},
        {good.substr(0, good.find('\n')) + "\nboard a\x1b[2J" + good.substr(good.find("\nXX")),
         "line 2: the map's name holds a control character", false},
        {good.substr(0, 50) + good.substr(51), "line 3: a board row must be 32 cells", false},
        {good + "end escape\n", "something follows the end line", false},
    };
    for (const Row& row : rows) {
        std::ofstream("edited.replay", std::ios::binary) << row.text;
        fake::reset();
        testing::internal::CaptureStderr();
        EXPECT_EQ(replay_game(game, "edited.replay", 16), row.status);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("dotmaze: replay \"edited.replay\": ") != err.npos, row.status != 0)
            << err;
        EXPECT_NE(err.find(row.expected), std::string::npos) << err;
        EXPECT_EQ(fake::console.opened, row.during_play) << err;
        EXPECT_EQ(fake::console.closed, row.during_play) << err;
    }
    // Refused like a map: the file services give the reason.
    testing::internal::CaptureStderr();
    EXPECT_EQ(replay_game(game, ".", 1), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open the replay \".\""),
              std::string::npos);
}

// A name reaches the terminal from the replay: what could start an escape sequence is not kept.
TEST(ReplayFile, AMapsNameIsKeptWithoutItsControlBytes) {
    Replay replay;
    Board board{};
    add_board(replay, "a\tb\x1b[2J.txt", board.cells);
    EXPECT_EQ(replay.map_names, std::vector<std::string>{"a?b?[2J.txt"});
}
