// The map checker against small crafted maps, one for each thing a map author must hear about.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "check/check.h"
#include "test_support.h"

namespace {

struct Checked {
    int status;
    std::vector<std::string> lines;    // everything printed
    std::vector<std::string> findings; // the lines that start "error:" or "warning:"
    std::string text;
};

Checked check(const std::string& bytes) {
    std::FILE* out = std::tmpfile();
    if (out == nullptr) throw std::runtime_error("no temporary file");
    Checked c{};
    c.status = check_map(file_with(bytes), "test.txt", out);
    std::rewind(out);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) c.text.append(chunk, n);
    std::fclose(out);
    std::istringstream in(c.text);
    for (std::string line; std::getline(in, line);) {
        c.lines.push_back(line);
        if (line.starts_with("error:") || line.starts_with("warning:")) c.findings.push_back(line);
    }
    return c;
}

// A walled board with a dot the player can reach, so that no finding is owed to its emptiness.
std::vector<std::string> board_with_a_dot() {
    auto board = walled_board();
    set_cell(board, 5, 5, '.');
    return board;
}

} // namespace

TEST(MapCheck, AGoodMapHasNoFindings) {
    Checked c = check(map_text(board_with_a_dot()));
    EXPECT_EQ(c.status, 0);
    EXPECT_TRUE(c.findings.empty()) << c.text;
    EXPECT_EQ(c.lines.back(), "test.txt: no errors, no warnings");
}

TEST(MapCheck, PrintsTheBoardAsTheGameReadsIt) {
    auto board = walled_board();
    // Two spaces in the first line: line 2 slips two cells left, so its dot at column 5 shows
    // at (3, 1).
    set_cell(board, 10, 0, ' ');
    set_cell(board, 11, 0, ' ');
    set_cell(board, 5, 1, '.');
    Checked c = check(map_text(board));
    ASSERT_GE(c.lines.size(), 37u) << c.text;
    EXPECT_EQ(c.lines[1], "              1         2         3");
    EXPECT_EQ(c.lines[2], "    01234567890123456789012345678901");
    EXPECT_EQ(c.lines[3], " 0  XXXXXXXXXX  XXXXXXXXXXXXXXXXXXXX  0");
    // Line 2's last cells follow: its wall, its line feed (open floor), line 3's first wall.
    EXPECT_EQ(c.lines[4], " 1     ." + std::string(25, ' ') + "X X  1");
    EXPECT_EQ(c.lines[35], "1 dot");
}

TEST(MapCheck, ADotWalledOffIsAnErrorThatNamesItsCell) {
    auto board = board_with_a_dot();
    set_cell(board, 20, 20, '.');
    for (int x = 19; x <= 21; ++x)
        for (int y = 19; y <= 21; ++y)
            if (x != 20 || y != 20) set_cell(board, x, y, 'X');
    Checked c = check(map_text(board));
    EXPECT_EQ(c.status, 1);
    ASSERT_EQ(c.findings.size(), 1u) << c.text;
    EXPECT_EQ(c.findings[0], "error: test.txt: 1 dot cannot be reached from the start (1, 1), so "
                             "the game cannot be won: (20, 20)");
}

TEST(MapCheck, AWalledInStartIsAnError) {
    auto board = board_with_a_dot();
    set_cell(board, 2, 1, 'X');
    set_cell(board, 1, 2, 'X');
    Checked shut_in = check(map_text(board));
    EXPECT_EQ(shut_in.status, 1);
    ASSERT_EQ(shut_in.findings.size(), 1u) << shut_in.text;
    EXPECT_TRUE(shut_in.findings[0].starts_with("error: test.txt: 1 dot cannot be reached"))
        << shut_in.text;

    board = board_with_a_dot();
    set_cell(board, 1, 1, 'X');
    Checked on_wall = check(map_text(board));
    EXPECT_EQ(on_wall.status, 1);
    ASSERT_EQ(on_wall.findings.size(), 1u) << on_wall.text;
    EXPECT_EQ(on_wall.findings[0], "error: test.txt: the player's starting cell (1, 1) is a wall");
}

TEST(MapCheck, SpacesInTheFirstLineWarnAndSayHowTheRowsSlip) {
    auto board = board_with_a_dot();
    set_cell(board, 10, 0, ' ');
    set_cell(board, 11, 0, ' ');
    Checked c = check(map_text(board));
    ASSERT_FALSE(c.findings.empty()) << c.text;
    EXPECT_TRUE(c.findings[0].starts_with(
        "warning: test.txt line 1: 2 spaces in the first line (columns 11, 12): "))
        << c.text;
    EXPECT_NE(c.findings[0].find("each later line slips 2 cells further left than the one above "
                                 "(line 2 by 2, line 3 by 4, and so on)"),
              std::string::npos)
        << c.text;
}

TEST(MapCheck, LinesNot32CellsLongWarnAndSayWhichWayTheRestSlips) {
    auto board = board_with_a_dot();
    board[9] += "XX";
    Checked long_line = check(map_text(board));
    EXPECT_EQ(long_line.status, 0);
    ASSERT_FALSE(long_line.findings.empty()) << long_line.text;
    EXPECT_EQ(long_line.findings[0],
              "warning: test.txt line 10: 34 cells, not 32: the lines after it slip 2 cells right");

    board = board_with_a_dot();
    board[9].pop_back();
    Checked short_line = check(map_text(board));
    ASSERT_FALSE(short_line.findings.empty()) << short_line.text;
    EXPECT_EQ(short_line.findings[0],
              "warning: test.txt line 10: 31 cells, not 32: the lines after it slip 1 cell left");
}

TEST(MapCheck, AnOpenBorderWarnsButPlays) {
    auto board = board_with_a_dot();
    for (int i = 0; i < board_size; ++i)
        for (auto [x, y] : {std::pair{i, 0}, {i, board_size - 1}, {0, i}, {board_size - 1, i}})
            set_cell(board, x, y, '.');
    Checked c = check(map_text(board));
    EXPECT_EQ(c.status, 0);
    ASSERT_EQ(c.findings.size(), 1u) << c.text;
    EXPECT_EQ(c.findings[0], "warning: test.txt: the border is open at 124 cells, (0, 0), (1, 0), "
                             "(2, 0), (3, 0), (4, 0) and 119 more: the game takes what lies off "
                             "the board as wall, so it still plays");
}

TEST(MapCheck, TextTheReaderSkipsOrTakesAsFloorWarnsWhereItIs) {
    auto board = board_with_a_dot();
    set_cell(board, 7, 2, '\t');
    set_cell(board, 8, 3, 'o');
    set_cell(board, 9, 3, 'o');
    Checked c = check(map_text(board) + "one more line\n\n");
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.findings, (std::vector<std::string>{
                              "warning: test.txt line 3, column 8: a tab reads as open floor",
                              "warning: test.txt line 4, column 9: 'o' reads as open floor (2 in "
                              "all, the first here)",
                              "warning: test.txt line 33: the board has 32 rows: line 33 is "
                              "ignored"}));

    std::string text = map_text(board_with_a_dot());
    text.insert(text.size() - 1, "\x1A, then this");
    Checked ctrl_z = check(text);
    EXPECT_EQ(ctrl_z.findings, (std::vector<std::string>{
                                   "warning: test.txt line 32, column 33: a Ctrl-Z byte ends the "
                                   "file for the reader: the 12 bytes after it are ignored"}));
}

TEST(MapCheck, MobsOnWallsAndAnEmptyBoardWarn) {
    auto board = walled_board();
    set_cell(board, 29, 29, 'X');
    set_cell(board, 6, 5, 'X');
    Checked c = check(map_text(board));
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.findings,
              (std::vector<std::string>{
                  "warning: test.txt: the chaser's starting cell (29, 29) is a wall",
                  "warning: test.txt: the patroller's round (columns 1 to 11, rows 3 to 5) "
                  "crosses walls at (6, 5): it walks through them, and its A stays drawn there",
                  "warning: test.txt: no dots: the first key wins the game"}));
}

// One row per finding: the map, the exit status, the number of finding lines, and the one that
// names the cause: where (a line, a column or a cell) and its key words.
TEST(MapCheck, EachFindingNamesItsCauseOnce) {
    auto edit = [](auto change) {
        auto board = board_with_a_dot();
        change(board);
        return map_text(board);
    };
    using Board = std::vector<std::string>;
    std::string small; // a 20 by 20 map
    for (int y = 0; y < 20; ++y)
        small += y % 19 == 0 ? std::string(20, 'X') + "\n" : "X" + std::string(18, ' ') + "X\n";
    std::string crs = map_text(board_with_a_dot());
    std::replace(crs.begin(), crs.end(), '\n', '\r');
    struct Row {
        std::string map;
        int status;
        std::size_t findings;
        const char* where;
        const char* words;
    } rows[] = {
        {edit([](Board& b) { set_cell(b, 1, 1, '.'); }), 1, 1,
         "test.txt:", "dot on the player's starting cell (1, 1)"},
        {edit([](Board& b) {
             b[1] = "X.X" + b[1].substr(3);
             b[2][1] = 'X';
         }),
         1, 2, "test.txt:", "(1, 1), and a wall on every side"},
        {edit([](Board& b) { b.insert(b.begin() + 9, ""); }), 0, 3,
         "line 10:", "an empty line: the lines after it move up a row"},
        {edit([](Board& b) { b[9] += "  "; }), 0, 2,
         "line 10:", "2 trailing spaces, invisible in an editor, make it 34 cells"},
        {"\xEF\xBB\xBF" + map_text(board_with_a_dot()), 1, 7,
         "line 1, column 1:", "byte-order mark"},
        {crs, 1, 5, "test.txt:", "CR line ends"},
        {edit([](Board& b) { b[9].replace(7, 1, "\xC3\xA9"); }), 0, 4,
         "line 10, column 8:", "'\xC3\xA9' is 2 bytes in UTF-8"},
        {small, 0, 5, "line 1:", "20 of 20 lines are 20 cells long, not 32 (lines 1 to 20)"},
        {std::string(300, '\x01') + "\n" + std::string(300, '\xFE'), 0, 3, "test.txt:", "not text"},
        {edit([](Board& b) {
             for (int i = 0; i < 26; ++i) set_cell(b, 7, i + 2, static_cast<char>('a' + i));
         }),
         0, 11, "test.txt:", "16 more characters"},
        // A lone CR is a cell like any other byte; it ends no line.
        {edit([](Board& b) { b[5][14] = '\r'; }), 0, 0, "", ""},
        // Nothing of line 33 reaches the board: no later row slips.
        {edit([](Board& b) {
             b[31].pop_back();
             b.push_back("after");
         }),
         0, 3, "line 32:", "31 cells, not 32: the rest of its row is open floor"},
        // Padded alike to the first line's trailing spaces, every row reads true.
        {edit([](Board& b) {
             for (std::string& line : b) line += "  ";
         }),
         0, 1, "line 1:", "every line ends in 2 trailing spaces"},
        // Columns count a UTF-8 character as one, as an editor does.
        {"X\xC3\xA9 X\x1A, then this", 0, 7, "line 1:", "1 space in the first line (column 3)"},
        {"X\xC3\xA9 X\x1A, then this", 0, 7, "line 1, column 5:", "Ctrl-Z"},
        // A last line too long runs on into the row below when no row is read after it.
        {edit([](Board& b) {
             b.resize(10);
             b[9] += "..";
         }),
         0, 3, "line 10:", "34 cells, not 32: the cells past the 32nd run on into the row below"},
        {edit([](Board& b) {
             b.resize(10);
             b[9] += "..";
         }).substr(0, 32 * 9 + 34 + 9),
         0, 3, "line 10:", "34 cells, not 32: the cells past the 32nd run on into the row below"},
        {small, 0, 5, "line 20:", "the file ends at line 20: rows 13 to 31"},
        {edit([](Board& b) { b[9] += "\t"; }), 0, 3,
         "line 10:", "1 trailing tab, invisible in an editor, make it 33 cells"},
        {edit([](Board& b) { b[5].insert(14, "\r"); }), 0, 3,
         "line 6, column 15:", "33 cells, not 32, counting a CR here"},
        {edit([](Board& b) { set_cell(b, 1, 4, 'X'); }), 0, 1,
         "test.txt:", "crosses walls at (1, 4)"},
        {edit([](Board& b) {
             for (int y = 0; y < board_size; y += 2) b[y] += "X";
         }),
         1, 4, "line 1:", "16 of 32 lines are 33 cells long, not 32"},
    };
    for (const Row& row : rows) {
        Checked c = check(row.map);
        EXPECT_EQ(c.status, row.status) << c.text;
        EXPECT_EQ(c.findings.size(), row.findings) << c.text;
        if (row.findings == 0) continue;
        auto named = std::count_if(c.findings.begin(), c.findings.end(), [&](const std::string& f) {
            return f.find(row.words) != std::string::npos;
        });
        EXPECT_EQ(named, 1) << row.words << "\n" << c.text;
        auto place = std::find_if(c.findings.begin(), c.findings.end(), [&](const std::string& f) {
            return f.find(std::string(" ") + row.where + " ") != std::string::npos &&
                   f.find(row.words) != std::string::npos;
        });
        EXPECT_TRUE(place != c.findings.end()) << row.where << " " << row.words << "\n" << c.text;
    }
}
