// The map editor: its edits as a table, its saves, its live verdict, a session on the fake.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "check/check.h"
#include "edit/edit.h"
#include "test_support.h"

namespace {

// Keys in (arrows: H P K M, a prefix 0xE0); out: the cells changed, the cursor, the action.
struct EditCase {
    const char *what, *keys, *cells;
    int x, y;
    Action last = Action::none;
};

// clang-format off
const EditCase edit_cases[] = {
    {"a wall, then a step right before any arrow", "x", "1,1=X", 2, 1},
    {"steps go the way of the last arrow", "P..", "1,2=. 1,3=.", 1, 4},
    {"the arrows with their prefixes", "\xE0PPM\xE0KH", "", 1, 2},
    {"the cursor stops at the edge", "KKK.HH", "0,1=.", 0, 0},
    {"an edit at the edge stays there", "MMMMMMMMMMMMMMMMMMMMMMMMMMMMMM .", "31,1=.", 31, 1},
    {"mirror mode: the mirrored cell too", "mX", "1,1=X 30,1=X", 2, 1},
    {"undo takes back a mirrored pair at once", "mxu", "", 1, 1},
    {"redo brings the pair back", "mx.uur", "1,1=X 30,1=X", 1, 1},
    {"undo stops at the board as opened", "xuurr", "1,1=X", 1, 1},
    {"a new change drops what redo had", "xu.r", "1,1=.", 2, 1},
    {"a change that changes nothing is not one", "Hxxu", "", 1, 0},
    {"other keys do nothing; the question's other keys stay", "z.qxq?", "1,1=.", 2, 1},
    {"nothing changed: Escape leaves", "\x1b", "", 1, 1, Action::leave},
    {"y saves and leaves", ".qy", "1,1=.", 2, 1, Action::save_and_leave},
    {"n leaves without saving", ".\x1bn", "1,1=.", 2, 1, Action::leave},
};
// clang-format on

std::string cells_changed(const Editor& e) {
    std::string out, fresh = save_text(e.saved), now = save_text(e.cells);
    for (std::size_t i = 0; i < now.size(); ++i)
        if (now[i] != fresh[i]) {
            // += rather than +, which GCC 12 wrongly warns about when optimising.
            if (!out.empty()) out += ' ';
            out += std::to_string(i % 33);
            out += ',';
            out += std::to_string(i / 33);
            out += '=';
            out += now[i];
        }
    return out;
}

std::string text_of(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Edit : public ::testing::Test {
  protected:
    void SetUp() override {
        old_dir = std::filesystem::current_path();
        std::filesystem::current_path(dir = new_temp_dir("dotmaze-edit-"));
        fake::reset();
        open_editor(e, new_board(), "new.txt", false);
    }
    void TearDown() override {
        std::filesystem::current_path(old_dir);
        std::filesystem::remove_all(dir);
    }
    Action type(const std::string& keys) { // what the last key asks for
        Action last = Action::none;
        for (char key : keys) last = edit_key(e, static_cast<unsigned char>(key));
        return last;
    }
    std::filesystem::path dir, old_dir;
    Editor e;
    Game game{};
};

} // namespace

TEST_F(Edit, KeysInBoardCursorAndActionOut) {
    for (const EditCase& c : edit_cases) {
        open_editor(e, new_board(), "new.txt", false);
        Action last = type(c.keys);
        EXPECT_EQ(cells_changed(e), c.cells) << c.what;
        EXPECT_EQ(e.x * 100 + e.y, c.x * 100 + c.y) << c.what << ": (" << e.x << ", " << e.y << ")";
        EXPECT_EQ(last, c.last) << c.what;
    }
}

// The verdict is --check's on the saved file; walling in the start is an error until undone.
TEST_F(Edit, TheLiveVerdictIsCheckOnTheSavedFile) {
    type("MM.PPPxxKXHx"); // a dot; walls on the patroller's round
    BoardVerdict live = check_cells(e.cells);
    testing::internal::CaptureStdout();
    std::ofstream("new.txt", std::ios::binary) << save_text(e.cells);
    check_maps({"new.txt"}, true);
    std::string expected = testing::internal::GetCapturedStdout(), got;
    for (const std::string& f : live.findings)
        got += f.substr(0, f.find(':')) + ": new.txt" + f.substr(f.find(':')) + "\n";
    EXPECT_EQ(got + "new.txt: no errors, 1 warning\n", expected);
    type("HHHKXur");
    EXPECT_EQ(check_cells(e.cells).errors, 1);
    type("u");
    EXPECT_EQ(check_cells(e.cells).errors, 0);
}

// A quirky map saved clean; a failed save leaves nothing; a refusal leaves the terminal be.
TEST_F(Edit, SaveWritesThirtyTwoCleanLinesOrNothing) {
    std::ofstream("quirky.txt", std::ios::binary) << "XXXX\r\nX .\tX\r\n";
    bool quirks = false;
    ASSERT_TRUE(open_map_file(e, "quirky.txt", quirks));
    EXPECT_TRUE(quirks);
    std::string why;
    ASSERT_TRUE(save_map(e, why)) << why;
    std::string text = text_of("quirky.txt");
    ASSERT_EQ(text.size(), 32u * 33u);
    EXPECT_EQ(text.substr(0, 10), "XXXX X . X"); // as the game reads it: one long line
    for (int y = 0; y < board_size; ++y)
        EXPECT_EQ(text.find_first_not_of("X. ", y * 33), y * 33 + 32u) << "line " << y + 1;
    EXPECT_TRUE(open_map_file(e, "quirky.txt", quirks) && !quirks);
    open_editor(e, new_board(), "no-folder/new.txt", false);
    type("x");
    EXPECT_FALSE(save_map(e, why));
    EXPECT_TRUE(!why.empty() && is_changed(e));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(edit_map(game, "."), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open \".\""), std::string::npos);
    EXPECT_FALSE(fake::console.opened);
}

// A dot, s, p and Escape, the editor back; then an unsaved wall, kept on SIGTERM in .save.1.
TEST_F(Edit, ASessionSavesPlaysAndKeepsTheChangesOnSigterm) {
    std::ofstream("new.txt.save") << "someone's";
    for (int key : {'.', 's', 'p'}) fake::press(key, 0);
    fake::press(key_escape, 500);
    fake::press('x', 1000);
    fake::console.deadline_ms = 3000;
    EXPECT_THROW(edit_map(game, "new.txt"), fake::TimeUp);
    EXPECT_EQ(text_of("new.txt").substr(33, 3), "X. ");
    const auto& events = fake::console.events; // a game's start hides the cursor
    EXPECT_NE(std::find(events.begin(), events.end(), "hide cursor"), events.end());
    EXPECT_NE(fake::row_text(fake::last_frame(), 0).find("new.txt (changed)"), std::string::npos);
    EXPECT_EQ(fake::console.cursor_row * 100 + fake::console.cursor_col, 1 * 100 + 3);
    testing::internal::CaptureStderr();
    fake::console.last_words(SIGTERM);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("\"new.txt.save.1\""), std::string::npos);
    EXPECT_EQ(text_of("new.txt.save.1").substr(33, 3), "X.X");
    EXPECT_EQ(text_of("new.txt.save"), "someone's");
}
