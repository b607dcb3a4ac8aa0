// The map editor: its edits as a table of keys in, board and cursor out; its saves; its live
// verdict against --check's; and a whole session against the fake console.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "check/check.h"
#include "edit/edit.h"
#include "edit/view.h"
#include "test_support.h"

namespace {

constexpr int U = key_up, D = key_down, L = key_left, R = key_right;

struct EditCase {
    const char* what;
    std::vector<int> keys;
    std::string cells; // "x,y=c ..." that differ from the new board after the keys
    int x, y;          // the cursor
};

const EditCase edit_cases[] = {
    {"a wall, then a step right before any arrow", {'x'}, "1,1=X", 2, 1},
    {"steps go the way of the last arrow", {D, '.', '.'}, "1,2=. 1,3=.", 1, 4},
    {"the arrows' letters and prefixes", {0xE0, D, 'P', 'M', 0, 'K', 'H'}, "", 1, 2},
    {"the cursor stops at the edge", {L, L, L, '.', U, U}, "0,1=.", 0, 0},
    {"an edit at the edge stays there",
     {R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,   R,
      R, R, R, R, R, R, R, R, R, R, R, R, R, R, ' ', '.'},
     "31,1=.",
     31,
     1},
    {"mirror mode: the mirrored cell too", {'m', 'X'}, "1,1=X 30,1=X", 2, 1},
    {"undo takes back a mirrored pair at once", {'m', 'x', 'u'}, "", 1, 1},
    {"redo brings the pair back", {'m', 'x', '.', 'u', 'u', 'r'}, "1,1=X 30,1=X", 1, 1},
    {"undo stops at the board as opened", {'x', 'u', 'u', 'r', 'r'}, "1,1=X", 1, 1},
    {"a new change drops what redo had", {'x', 'u', '.', 'r'}, "1,1=.", 2, 1},
    {"a change that changes nothing is not one", {U, 'x', 'x', 'u'}, "", 1, 0},
    {"other keys do nothing; the question's other keys stay",
     {'z', '.', 'q', 'x', 'q', '?'},
     "1,1=.",
     2,
     1},
};

void type(Editor& e, const std::vector<int>& keys) {
    for (int key : keys) edit_key(e, key);
}

std::string cells_changed(const Editor& e) {
    Board fresh = new_board();
    std::ostringstream out;
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x)
            if (e.cells[y][x] != fresh.cells[y][x])
                out << (out.tellp() > 0 ? " " : "") << x << "," << y << "=" << e.cells[y][x];
    return out.str();
}

class Edit : public ::testing::Test {
  protected:
    void SetUp() override {
        old_dir = std::filesystem::current_path();
        std::filesystem::current_path(dir = new_temp_dir("dotmaze-edit-"));
        fake::reset();
        fresh_state_home();
    }
    void TearDown() override {
        std::filesystem::current_path(old_dir);
        std::filesystem::remove_all(dir);
    }
    static std::string text_of(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::path dir, old_dir;
    Editor e;
    Game game{};
};

} // namespace

TEST(EditKeys, KeysInBoardAndCursorOut) {
    for (const EditCase& c : edit_cases) {
        Editor e;
        open_editor(e, new_board(), "new.txt", false);
        type(e, c.keys);
        EXPECT_EQ(cells_changed(e), c.cells) << c.what;
        EXPECT_EQ(e.x * 100 + e.y, c.x * 100 + c.y) << c.what << ": (" << e.x << ", " << e.y << ")";
    }
}

TEST(EditKeys, SavePlayAndLeavingAskFirstWhenChanged) {
    Editor e;
    open_editor(e, new_board(), "new.txt", false);
    EXPECT_EQ(edit_key(e, 's'), Action::save);
    EXPECT_EQ(edit_key(e, 'p'), Action::play);
    EXPECT_EQ(edit_key(e, key_escape), Action::leave);
    edit_key(e, '.');
    for (auto [answer, action] : {std::pair{'y', Action::save_and_leave}, {'n', Action::leave}}) {
        EXPECT_EQ(edit_key(e, 'q'), Action::none);
        EXPECT_TRUE(e.asking);
        EXPECT_EQ(edit_key(e, answer), action);
    }
}

// The verdict beside the board is the one --check gives the saved file, finding for finding.
TEST(EditCheck, TheLiveVerdictIsCheckOnTheSavedFile) {
    Editor e;
    open_editor(e, new_board(), "new.txt", false);
    type(e, {R, R, '.', D, D, D, 'x', 'x', L, 'X', U, 'x'});
    BoardVerdict live = check_cells(e.cells);
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(check_map(file_with(save_text(e.cells)), "new.txt", out, true), 0);
    std::rewind(out);
    std::string expected;
    for (char line[1024]; std::fgets(line, sizeof line, out);) {
        std::string l = line;
        if (auto at = l.find(" new.txt: "); at != std::string::npos) expected += l.erase(at, 9);
    }
    std::fclose(out);
    std::string got;
    for (const std::string& f : live.findings) got += f + "\n";
    EXPECT_EQ(got, expected);
    EXPECT_EQ(live.errors * 10 + live.warnings, 1); // the patroller's round crosses walls
    // Walling in the start: an error, and undo takes it away.
    type(e, {U, U, U, L, 'X', 'u'});
    edit_key(e, 'r');
    EXPECT_EQ(check_cells(e.cells).errors, 1);
    edit_key(e, 'u');
    EXPECT_EQ(check_cells(e.cells).errors, 0);
}

TEST_F(Edit, SaveWritesThirtyTwoCleanLinesAndAQuirkyMapComesOutClean) {
    std::ofstream("quirky.txt", std::ios::binary) << "XXXX\r\nX .\tX\r\n";
    bool quirks = false;
    ASSERT_TRUE(open_map_file(e, "quirky.txt", quirks));
    EXPECT_TRUE(quirks);
    std::string why;
    ASSERT_TRUE(save_map(e, why)) << why;
    std::string text = text_of("quirky.txt");
    ASSERT_EQ(text.size(), 32u * 33u);
    EXPECT_EQ(text.substr(0, 10), "XXXX X . X"); // as the game reads it: one long line
    EXPECT_EQ(text.find_first_not_of("X. \n"), std::string::npos);
    for (int y = 0; y < board_size; ++y) EXPECT_EQ(text[y * 33 + 32], '\n');
    ASSERT_TRUE(open_map_file(e, "quirky.txt", quirks));
    EXPECT_FALSE(quirks);
}

TEST_F(Edit, AFailedSaveLeavesNothingAndKeepsTheChanges) {
    open_editor(e, new_board(), "no-folder/new.txt", false);
    edit_key(e, 'x');
    std::string why;
    EXPECT_FALSE(save_map(e, why));
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(is_changed(e));
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

// A session: a dot, a save, a game played and left with Escape, the editor back, then a
// change left unsaved when SIGTERM comes, which goes to new.txt.save.1 (.save is taken).
TEST_F(Edit, ASessionSavesPlaysAndKeepsTheChangesOnSigterm) {
    std::ofstream("new.txt.save") << "someone's";
    for (int key : {'.', 's', 'p'}) fake::press(key, 0);
    fake::press(key_escape, 500);
    fake::press('x', 1000);
    fake::console.deadline_ms = 3000;
    EXPECT_THROW(edit_map(game, "new.txt"), fake::TimeUp);
    EXPECT_EQ(text_of("new.txt").substr(33, 3), "X. ");
    bool played = false;
    for (const fake::Frame& f : fake::console.frames)
        played = played || fake::row_text(f, 0).find("trying new.txt") != std::string::npos;
    EXPECT_TRUE(played);
    EXPECT_NE(fake::row_text(fake::last_frame(), 0).find("new.txt (changed)"), std::string::npos);
    EXPECT_EQ(fake::console.cursor_row * 100 + fake::console.cursor_col, 1 * 100 + 3);
    testing::internal::CaptureStderr();
    fake::console.last_words(SIGTERM);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("\"new.txt.save.1\""), std::string::npos);
    EXPECT_EQ(text_of("new.txt.save.1").substr(33, 3), "X.X");
    EXPECT_EQ(text_of("new.txt.save"), "someone's");
}
