// The best games: how games rank, what the file keeps, and that no game is lost on the way.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "history/scores.h"
#include "test_support.h"

namespace {

const std::string board = "00000000000000aa";

GameRecord won(std::int64_t ms, int lives, std::string map = "mapa.txt") {
    return {map, board, true, 120, 120, lives, ms, "2026-12-08T07:28:08"};
}
GameRecord lost(int dots) {
    return {"mapa.txt", board, false, dots, 120, 0, 60'000, "2026-12-08T07:28:08"};
}

#ifdef _WIN32
const char* scores_name = "scores.txt";
#else
const char* scores_name = "scores";
#endif

} // namespace

TEST(BestGames, EachGameIsToldItsPlaceAmongTheGamesOnItsMap) {
    GameRecord elsewhere = won(9'000, 3, "copy of mapa.txt");
    elsewhere.board = "00000000000000bb";
    struct Row {
        GameRecord game;
        std::string line;
    } rows[] = {
        {lost(57), "mapa.txt: lost with 57 of 120 dots: 1st of 1"},
        {lost(98), "mapa.txt: lost with 98 of 120 dots: 1st of 2"},
        {lost(12), "mapa.txt: lost with 12 of 120 dots: 3rd of 3 (best 98 of 120 dots)"},
        {won(151'400, 3), "mapa.txt: won in 2:31.4, 3 lives left: 1st of 4"},
        {won(132'950, 1), "mapa.txt: won in 2:12.9, 1 life left: 1st of 5"},
        {won(132'950, 2), "mapa.txt: won in 2:12.9, 2 lives left: 1st of 6"},
        {won(151'400, 3), "mapa.txt: won in 2:31.4, 3 lives left: 4th of 7 (best 2:12.9)"},
        {won(3'723'000, 3), "mapa.txt: won in 62:03.0, 3 lives left: 5th of 8 (best 2:12.9)"},
        {elsewhere, "copy of mapa.txt: won in 0:09.0, 3 lives left: 1st of 1"},
    };
    ScoresFile file = parse_scores("");
    for (const Row& row : rows)
        EXPECT_EQ(place_line(row.game, add_record(file, row.game)), row.line);
    for (auto [n, th] : {std::pair{11, "11th"},
                         {12, "12th"},
                         {13, "13th"},
                         {21, "21st"},
                         {22, "22nd"},
                         {23, "23rd"},
                         {111, "111th"},
                         {112, "112th"}})
        EXPECT_EQ(place_line(lost(1), {n, 200, lost(98)}),
                  "mapa.txt: lost with 1 of 120 dots: " + std::string(th) +
                      " of 200 (best 98 of 120 dots)");
}

// Each file is read as its lines (a record, or kept as found) and rewritten: its games, the
// entries it is held in, and the text it is rewritten as.
TEST(BestGames, EveryLineOfAFileIsReadOrKeptAsItIs) {
    const std::string header = "dotmaze scores, format 1: a header\n";
    const std::string game = "1 won 151.400 3 120/120 2026-12-08T07:28:08 00000000000000aa a.txt";
    const std::string empty_lines = header + std::string(max_scores_bytes - header.size(), '\n');
    struct Row {
        std::string text;
        std::size_t games, entries;
        std::string rewritten;
    } rows[] = {
        {header + game + "\r\n" + game + "\n", 2, 2, header + game + "\n" + game + "\n"},
        {header + game + "\n" + game, 2, 2, header + game + "\n" + game + "\n"},
        // Damaged lines in a row are one span of text, however many.
        {empty_lines, 0, 1, empty_lines},
        {header + "x\n\n" + game + "\ny\nz\n", 1, 3, header + "x\n\n" + game + "\ny\nz\n"},
    };
    for (const Row& row : rows) {
        ScoresFile file = parse_scores(row.text);
        EXPECT_EQ(ranked_lines(file, board).size(), row.games);
        EXPECT_EQ(file.lines.size(), row.entries);
        EXPECT_EQ(format_scores(file), row.rewritten);
    }
}

TEST(BestGames, LinesTheGameCannotReadAreKeptAsTheyAreThroughARewrite) {
    const std::string text =
        "dotmaze scores, format 2: a newer version's header\n"
        "1 won 151.400 3 120/120 2026-12-08T07:28:08 00000000000000aa mapa.txt\n"
        "1 won 15#.400 3 120/120 2026-12-08T07:29:08 00000000000000aa mapa.txt\n"
        "2 won 9.000 3 120/120 2030-01-01T00:00:00 00000000000000aa mapa.txt speed=2\n"
        "1 lost 60.000 0 7/120 2026-12-08T07:30:00 00000000000000aa my \\\\maps\\x0a.txt\n";
    ScoresFile file = parse_scores(text);
    EXPECT_EQ(best_games_table(file, "", "", 10),
              "my \\maps\\x0a.txt\n"
              "   #  result    time  lives     dots  date\n"
              "   1  won     2:31.4      3  120/120  2026-12-08 07:28\n"
              "   2  lost    1:00.0      0    7/120  2026-12-08 07:30\n");
    add_record(file, lost(8));
    EXPECT_EQ(format_scores(file),
              text + "1 lost 60.000 0 8/120 2026-12-08T07:28:08 00000000000000aa mapa.txt\n");
}

TEST(BestGames, PastAHundredGamesOnAMapTheLowestGo) {
    ScoresFile file = parse_scores("damaged\n");
    for (int s = 101; s >= 1; --s) add_record(file, won(s * 1000, 3));
    // The ten best shown: the map's name, the columns' names and ten rows.
    for (std::string shown :
         {best_games_table(file, board, "mapa.txt", 10), best_games_table(file, "", "", 10)})
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 12) << shown;
    EXPECT_EQ(place_line(won(100'500, 3), add_record(file, won(100'500, 3))),
              "mapa.txt: won in 1:40.5, 3 lives left: 101st of 101 (best 0:01.0)");
    EXPECT_EQ(file.lines.front().text, "damaged");
}

// Each game a process of its own, as the players' are (wine's locks do not keep apart the
// threads of one process): this test again, as a writer.
TEST(BestGames, TwelveGamesEndingAtOnceAreAllKept) {
    const std::vector<std::string>& argv = testing::internal::GetArgvs();
    if (argv.size() > 2 && argv[argv.size() - 2] == "writer") {
        use_state_home(argv.back());
        remember_game(won(1000, 3));
        return;
    }
    auto home = fresh_state_home();
    std::string writer =
        "\"" + argv[0] + "\" --gtest_filter=BestGames.Twelve* writer \"" + home.string() + "\"";
    std::string writers;
#ifdef _WIN32
    for (int i = 0; i < 12; ++i) writers += "start \"\" /b " + writer + " >NUL & ";
    writers += "rem"; // cmd cannot wait for them: the records are awaited below
    int tries = 600;
#else
    for (int i = 0; i < 12; ++i) writers += writer + " >/dev/null & ";
    writers += "wait";
    int tries = 1;
#endif
    EXPECT_EQ(std::system(writers.c_str()), 0);
    std::size_t records = 0;
    while (records < 12 && tries-- > 0) {
        ScoresFile file;
        std::string why;
        records = load_scores(file, why) ? ranked_lines(file, board).size() : 0;
        if (records < 12) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(records, 12u);
}

TEST(BestGames, AScoresFileThatCannotBeWrittenCostsOnlyTheRecord) {
    const std::string big(max_scores_bytes + 1, '#');
    enum Spoil { folder_in_its_place, too_large, no_state_folder, no_temporary_name, busy };
    struct Row {
        Spoil spoil;
        std::string why;
    } rows[] = {{folder_in_its_place, "it is a directory"},
                {too_large, "more than the limit of 1048576"},
                {no_state_folder, "no folder for the scores"},
                {no_temporary_name, "no free name for a temporary file beside it"},
                {busy, "the scores file is busy"}};
    for (const Row& row : rows) {
        auto home = fresh_state_home();
        auto file = home / "dotmaze" / scores_name;
        std::filesystem::create_directories(row.spoil == folder_in_its_place ? file
                                                                             : home / "dotmaze");
        if (row.spoil == too_large) std::ofstream(file) << big;
        if (row.spoil == no_state_folder)
            std::filesystem::remove_all(home), std::ofstream(home) << "";
        if (row.spoil == no_temporary_name) take_temporary_names(file);
        auto lock = (home / "dotmaze" / "scores.lock").string();
        char why[256];
        int held = row.spoil == busy ? lock_file(lock.c_str(), 0, why, sizeof why) : -1;
        fake::console.quit_pending = row.spoil == busy; // so no waiting for the lock
        auto start = std::chrono::steady_clock::now();
        std::string line = remember_game(won(1000, 3));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << row.why;
        EXPECT_EQ(line.rfind("mapa.txt: won in 0:01.0, 3 lives left: not saved: ", 0), 0u) << line;
        EXPECT_NE(line.find(row.why), std::string::npos) << line;
        if (row.spoil == too_large) { EXPECT_EQ(std::filesystem::file_size(file), big.size()); }
        unlock_file(held);
        fake::console.quit_pending = false;
    }
}

// What a save cut short (a crash, a SIGKILL) left beside the file: another process's new file,
// a minute old, goes with the next save; anything else stays.
TEST(BestGames, ASaveRemovesTheNewFileOfASaveCutShort) {
    auto folder = fresh_state_home() / "dotmaze";
    std::filesystem::create_directories(folder);
    const std::string before = std::string(scores_name) + ".new-";
    const struct {
        std::string name;
        bool old, kept;
    } rows[] = {{before + "1-0", true, false},
                {before + "1-1", false, true}, // perhaps still being written
                {before + std::to_string(process_id()) + "-7", true, true},
                {before + "1-0.txt", true, true}};
    auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2);
    for (const auto& row : rows) {
        std::ofstream(folder / row.name) << "1 won";
        if (row.old) std::filesystem::last_write_time(folder / row.name, long_ago);
    }
    remember_game(won(1000, 3));
    for (const auto& row : rows)
        EXPECT_EQ(std::filesystem::exists(folder / row.name), row.kept) << row.name;
}

// A file at the limit: 200 boards of games up to 1 MiB, the oldest a damaged line and eleven
// games on mapa.txt's board.
TEST(BestGames, AFullFileDropsTheOldestGamesNotAmongTheirMapsTenBest) {
    auto home = fresh_state_home();
    std::filesystem::create_directories(home / "dotmaze");
    ScoresFile file = parse_scores("damaged\n");
    for (int dots = 1; dots <= 11; ++dots) add_record(file, lost(dots));
    std::string text = format_scores(file);
    for (int i = 0; text.size() < max_scores_bytes - 100; ++i) {
        char line[100];
        std::snprintf(line, sizeof line, "1 lost 60.000 0 %d/120 2026-12-08T07:28:08 %016x b.txt\n",
                      i % 120, 0x1000 + i % 200);
        text += line;
    }
    std::ofstream(home / "dotmaze" / scores_name, std::ios::binary) << text;
    std::size_t games = parse_scores(text).lines.size() - 1;

    std::string first = remember_game(won(1000, 3));
    EXPECT_LE(std::filesystem::file_size(home / "dotmaze" / scores_name), trimmed_scores_bytes);
    std::string second = remember_game(won(2000, 3));
    ScoresFile kept;
    std::string why;
    ASSERT_TRUE(load_scores(kept, why)) << why;
    EXPECT_EQ(first, "mapa.txt: won in 0:01.0, 3 lives left: 1st of 12; the scores file reached "
                     "1 MiB, so its " +
                         std::to_string(games + 2 - (kept.lines.size() - 1)) +
                         " oldest games not among their map's 10 best were dropped");
    EXPECT_EQ(second, "mapa.txt: won in 0:02.0, 3 lives left: 2nd of 11 (best 0:01.0)");
    EXPECT_EQ(kept.lines.front().text, "damaged");
    // The two worst losses, the oldest games past the ten best, are gone.
    std::string shown = best_games_table(kept, board, "mapa.txt", 20);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2 + 11) << shown;

    // Full of lines this version cannot read and of the ten best on its map, a file has no game
    // to let go but the new one.
    file = parse_scores("");
    for (int i = 0; i < 10; ++i) add_record(file, won(1000, 3));
    std::string full = format_scores(file);
    full += std::string(max_scores_bytes - full.size() - 50, '#');
    std::ofstream(home / "dotmaze" / scores_name, std::ios::binary) << full;
    EXPECT_NE(remember_game(lost(1)).find(": not saved: "), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(home / "dotmaze" / scores_name), full.size());
}
#ifdef _WIN32
// A profile folder that the ANSI code page cannot spell keeps the games all the same.
TEST(BestGames, AStateFolderOutsideTheAnsiCodePageKeepsTheGames) {
    auto home = fresh_state_home() / L"\u03a9\u65e5";
    std::filesystem::create_directories(home);
    _wputenv_s(L"LOCALAPPDATA", home.wstring().c_str());
    EXPECT_EQ(remember_game(won(1000, 3)), "mapa.txt: won in 0:01.0, 3 lives left: 1st of 1");
    ScoresFile file;
    std::string why;
    EXPECT_TRUE(load_scores(file, why)) << why;
    EXPECT_EQ(file.lines.size(), 1u);
    fresh_state_home();
}
#endif
