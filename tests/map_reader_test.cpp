#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "console/platform.h"
#include "game/map_reader.h"
#include "test_support.h"

namespace {

struct Grid {
    unsigned char mapa[map_rows][board_size];
};

Grid read(const std::string& bytes) {
    Grid grid{};
    read_map(grid.mapa, file_with(bytes));
    return grid;
}

// Line `row` of a test map: 32 cells that differ from row to row, so any shift shows.
std::string line(int row) {
    return std::string(board_size, static_cast<char>('A' + row % 26));
}

std::string lines(int count, const std::string& end = "\n") {
    std::string text;
    for (int row = 0; row < count; ++row) text += line(row) + end;
    return text;
}

std::string row_of(const Grid& grid, int row) {
    return std::string(reinterpret_cast<const char*>(grid.mapa[row]), board_size);
}

void expect_board_rows(const Grid& grid, int count) {
    for (int row = 0; row < count; ++row) EXPECT_EQ(row_of(grid, row), line(row)) << "row " << row;
}

} // namespace

TEST(MapReader, LineEndsDoNotChangeTheBoard) {
    std::string lf = lines(32);
    expect_board_rows(read(lf), 32);
    expect_board_rows(read(lines(32, "\r\n")), 32);
    // Without the last line feed.
    expect_board_rows(read(lf.substr(0, lf.size() - 1)), 32);
    // A CR that is not before a LF is an ordinary cell, and the byte after it is the next.
    std::string cr_first = lf;
    cr_first[0] = '\r';
    Grid lone_cr = read(cr_first);
    EXPECT_EQ(lone_cr.mapa[0][0], '\r');
    EXPECT_EQ(row_of(lone_cr, 0).substr(1), line(0).substr(1));
    EXPECT_EQ(row_of(lone_cr, 1), line(1));
}

TEST(MapReader, AFileThatEndsEarlyLeavesEndOfFileBytesThenZeros) {
    // Ten lines: the copy runs one line past the end of the file.
    Grid short_file = read(lines(10));
    expect_board_rows(short_file, 10);
    EXPECT_EQ(row_of(short_file, 10), std::string(board_size, '\xFF'));
    EXPECT_EQ(short_file.mapa[11][0], 0xFF); // the 33rd read of that line
    EXPECT_EQ(short_file.mapa[11][1], 0);
    EXPECT_EQ(row_of(short_file, 20), std::string(board_size, '\0'));

    // Ctrl-Z ends the file, whatever follows it.
    Grid ctrl_z = read(lines(10) + "\x1A" + lines(22));
    EXPECT_EQ(std::memcmp(ctrl_z.mapa, short_file.mapa, sizeof ctrl_z.mapa), 0);

    EXPECT_EQ(row_of(read(""), 0), std::string(board_size, '\xFF'));
}

TEST(MapReader, ALongFileIsCutAfterTheSpareRow) {
    Grid grid = read(lines(40));
    expect_board_rows(grid, 32);
    EXPECT_EQ(row_of(grid, 32), line(32)); // the spare row takes the 33rd line
}

TEST(MapReader, EachSpaceInTheFirstLineLengthensEveryLine) {
    std::string first = std::string(16, 'A') + " " + std::string(16, 'A');
    Grid grid = read(first + "\n" + lines(32).substr(33));
    // The copy reads 34 bytes a line on a grid 32 wide, so each row slips one more cell.
    EXPECT_EQ(row_of(grid, 1), line(1));
    EXPECT_EQ(row_of(grid, 2), line(2).substr(1) + "\n");
    EXPECT_EQ(row_of(grid, 3), line(3).substr(2) + "\n" + line(4).substr(0, 1));
}

TEST(MapReader, AShortLineShiftsTheRowsBelowIt) {
    Grid grid = read(line(0) + "\n" + "BB\n" + lines(32).substr(2 * 33));
    EXPECT_EQ(grid.mapa[1][0], 'B');
    EXPECT_EQ(grid.mapa[1][2], '\n');
    EXPECT_EQ(grid.mapa[1][3], 'C'); // line 2 starts right after the short line
}

TEST(MapReader, FilesWithoutLineStructureAreReadWithoutRunningAway) {
    // One line with a hundred thousand spaces: a line length of 100,032.
    Grid spaces = read(std::string(100000, ' '));
    EXPECT_EQ(spaces.mapa[32][31], ' ');
    // Many lines after a long first line: only the reads that can land in the grid count.
    Grid tall = read(std::string(1000, ' ') + "\n" + std::string(50000, '\n'));
    EXPECT_EQ(tall.mapa[0][0], ' ');
    // One line of cells and no line feed fills only the first row.
    Grid one = read(std::string(100, 'A'));
    EXPECT_EQ(row_of(one, 0), std::string(board_size, 'A'));
    EXPECT_EQ(one.mapa[1][0], 0);
}

// ---- opening -------------------------------------------------------------------------------

class OpenMap : public ::testing::Test {
  protected:
    void SetUp() override { dir = new_temp_dir("dotmaze-open-"); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const char* name) { return (dir / name).string(); }
    std::FILE* open(const std::string& file) { return open_map(file.c_str(), why, sizeof why); }

    std::filesystem::path dir;
    char why[256] = "";
};

TEST_F(OpenMap, RefusesWhatCannotBeAMapWithAReason) {
    EXPECT_EQ(open(path("missing")), nullptr);
    EXPECT_STREQ(why, "No such file or directory");

    std::filesystem::create_directory(path("folder"));
    EXPECT_EQ(open(path("folder")), nullptr);
    EXPECT_STREQ(why, "it is a directory");

#ifndef _WIN32 // Windows file systems hold no FIFOs
    // A FIFO would block the open itself; it must be refused without waiting for a writer.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(open(path("fifo")), nullptr);
    EXPECT_STREQ(why, "it is not a regular file");
#endif

    std::ofstream(path("big")).close();
    std::filesystem::resize_file(path("big"), max_map_bytes + 1);
    EXPECT_EQ(open(path("big")), nullptr);
    EXPECT_NE(std::string(why).find("1048577 bytes"), std::string::npos) << why;
    // Past 4 GiB a size cut to 32 bits would wrap round to a small one and let the file in.
    // Most file systems keep such a file sparse: it takes no disk space.
    std::filesystem::resize_file(path("big"), (std::uintmax_t{1} << 32) + 1);
    EXPECT_EQ(open(path("big")), nullptr);
    EXPECT_NE(std::string(why).find("4294967297 bytes"), std::string::npos) << why;
}

TEST_F(OpenMap, OpensARegularFileUpToTheLimit) {
    std::ofstream(path("limit")).close();
    std::filesystem::resize_file(path("limit"), max_map_bytes);
    std::FILE* file = open(path("limit"));
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    // "x€.txt" in code page 1252: any name the system's own fopen opens.
    std::string euro = dir.string() + "/x\x80.txt";
    std::fclose(std::fopen(euro.c_str(), "wb"));
    file = open(euro);
    ASSERT_NE(file, nullptr) << why;
    std::fclose(file);
}

// ---- the game's own files ------------------------------------------------------------------

namespace {

std::string contents(const std::string& name) {
    return {std::istreambuf_iterator<char>(std::ifstream(name, std::ios::binary).rdbuf()), {}};
}

[[maybe_unused]] unsigned mode_of(const std::string& name) {
    struct stat info {};
    stat(name.c_str(), &info);
    return info.st_mode & 0777;
}

} // namespace

TEST_F(OpenMap, ReplaceFileLeavesAPrivateFileAndWritesThroughNoPlantedLink) {
    std::string target = path("scores");
    std::ofstream(path("theirs")) << "theirs";
#ifndef _WIN32
    // A link to someone else's file under the first temporary name replace_file would take.
    std::string planted = target + ".new-" + std::to_string(getpid()) + "-0";
    ASSERT_EQ(symlink(path("theirs").c_str(), planted.c_str()), 0);
#endif
    for (std::string text : {"old", "new\n"})
        ASSERT_TRUE(replace_file(target.c_str(), text.data(), text.size(), 0600, why, sizeof why))
            << why;
    EXPECT_EQ(contents(target), "new\n");
    EXPECT_EQ(contents(path("theirs")), "theirs");
#ifndef _WIN32
    EXPECT_EQ(mode_of(target), 0600u);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0); // a FIFO in its place stays one
    EXPECT_FALSE(replace_file(path("fifo").c_str(), "x", 1, 0600, why, sizeof why));
    EXPECT_STREQ(why, "it is not a regular file");
#endif
}

#ifndef _WIN32
// A link is followed to the file it names, which keeps its mode; a link to nothing is refused.
TEST_F(OpenMap, ReplaceFileReplacesWhatALinkNamesAndKeepsItsMode) {
    struct Row {
        const char* link_to; // nullptr: no link, the file itself
        bool file_there;
        unsigned mode; // the file's before, or new_mode for a new one
        bool replaced;
        const char* why;
    } rows[] = {
        {nullptr, true, 0640, true, ""},
        {nullptr, false, 0644, true, ""},
        {"file", true, 0604, true, ""},
        {"sub/../file", true, 0600, true, ""},
        {"gone", false, 0600, false, "/gone\", which is not there"},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(path("file"));
        std::filesystem::remove(path("name"));
        std::filesystem::create_directories(path("sub"));
        if (row.file_there) {
            std::ofstream(path("file")) << "old";
            chmod(path("file").c_str(), row.mode);
        }
        std::string name = row.link_to != nullptr ? path("name") : path("file");
        if (row.link_to != nullptr) { ASSERT_EQ(symlink(row.link_to, name.c_str()), 0); }
        umask(022);
        EXPECT_EQ(
            replace_file(name.c_str(), "new", 3, row.file_there ? 0600 : row.mode, why, sizeof why),
            row.replaced);
        EXPECT_NE((row.replaced ? std::string() : why).find(row.why), std::string::npos) << why;
        if (!row.replaced) continue;
        EXPECT_EQ(contents(path("file")), "new") << name;
        EXPECT_EQ(mode_of(path("file")), row.mode) << name;
        if (row.link_to != nullptr) { EXPECT_TRUE(std::filesystem::is_symlink(name)); }
    }
}
#endif

#ifndef _WIN32
TEST_F(OpenMap, StateFolderIsMadePrivateUnderAnAbsoluteXdgStateHomeElseHome) {
    std::string old_home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    char folder[512];
    setenv("XDG_STATE_HOME", path("state/deep").c_str(), 1);
    ASSERT_TRUE(state_folder(folder, sizeof folder, false, why, sizeof why)) << why;
    EXPECT_FALSE(std::filesystem::exists(path("state"))); // named, not made: for a reader
    ASSERT_TRUE(state_folder(folder, sizeof folder, true, why, sizeof why)) << why;
    EXPECT_EQ(folder, path("state/deep/dotmaze"));
    for (const char* made : {"state", "state/deep", "state/deep/dotmaze"})
        EXPECT_EQ(mode_of(path(made)), 0700u) << made;
    setenv("XDG_STATE_HOME", "state", 1);
    setenv("HOME", path("home").c_str(), 1);
    EXPECT_TRUE(state_folder(folder, sizeof folder, true, why, sizeof why)) << why;
    EXPECT_EQ(folder, path("home/.local/state/dotmaze"));
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", old_home.c_str(), 1);
}
#endif
