// Drives the real dotmaze.exe on the console this program runs in: starts it with
// CreateProcess, types into the console's input buffer with WriteConsoleInput, reads the
// screen back with ReadConsoleOutputCharacter, and looks at the console's code page, cursor,
// buffer and window before, during and after the game.
//
//     console_driver.exe REPORT SCENARIO...
//
// Run in the folder that holds dotmaze.exe (the maps are written there). The console is the
// one the driver was started in, so the results go to REPORT, one line per scenario:
// "pass NAME" or "fail NAME: why".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

HANDLE out, in;
std::FILE* report;

const UINT code_page_before = 850; // anything but the game's 437
const DWORD cursor_size_before = 50;
const char shade = static_cast<char>(0xB0); // the walls, in code pages 437 and 850 alike

// The driver shares the console with the game and lives through the Ctrl-C it sends.
BOOL WINAPI survive(DWORD) {
    return TRUE;
}

struct Failure {
    std::string why;
};

void check(bool ok, const std::string& why) {
    if (!ok) throw Failure{why};
}

// ---- the console ---------------------------------------------------------------------------

CONSOLE_SCREEN_BUFFER_INFO screen_info() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(out, &info);
    return info;
}

std::string size_text(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string window_size() {
    SMALL_RECT w = screen_info().srWindow;
    return size_text(w.Right - w.Left + 1, w.Bottom - w.Top + 1);
}

std::string buffer_size() {
    COORD b = screen_info().dwSize;
    return size_text(b.X, b.Y);
}

// Sets the buffer and the window (at the buffer's top) to the given sizes.
void set_sizes(SHORT buffer_w, SHORT buffer_h, SHORT window_w, SHORT window_h) {
    SMALL_RECT small = {0, 0, 0, 0}; // first a window that fits in any buffer
    SetConsoleWindowInfo(out, TRUE, &small);
    SetConsoleScreenBufferSize(out, COORD{buffer_w, buffer_h});
    SMALL_RECT window = {0, 0, static_cast<SHORT>(window_w - 1), static_cast<SHORT>(window_h - 1)};
    SetConsoleWindowInfo(out, TRUE, &window);
}

// What every scenario starts from: the pane's full size, a blank screen, code page 850, a
// visible cursor of a size the game does not use, nothing typed.
COORD pane;

void fresh_console() {
    set_sizes(pane.X, pane.Y, pane.X, pane.Y);
    DWORD done = 0;
    FillConsoleOutputCharacterA(out, ' ', pane.X * pane.Y, COORD{0, 0}, &done);
    SetConsoleCursorPosition(out, COORD{0, 0});
    SetConsoleOutputCP(code_page_before);
    CONSOLE_CURSOR_INFO cursor = {cursor_size_before, TRUE};
    SetConsoleCursorInfo(out, &cursor);
    FlushConsoleInputBuffer(in);
}

std::string row_text(int row, int width = 80) {
    std::string text(width, ' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterA(out, text.data(), width, COORD{0, static_cast<SHORT>(row)}, &read);
    text.resize(read);
    return text;
}

bool shows_at(int col, int row, const std::string& text) {
    return row_text(row, col + static_cast<int>(text.size())).substr(col) == text;
}

// How many times `text` shows on the whole buffer, row by row.
int times_shown(const std::string& text) {
    COORD size = screen_info().dwSize;
    int times = 0;
    for (int row = 0; row < size.Y; ++row) {
        std::string line = row_text(row, size.X);
        for (auto at = line.find(text); at != std::string::npos; at = line.find(text, at + 1))
            ++times;
    }
    return times;
}

bool screen_contains(const std::string& text) {
    return times_shown(text) > 0;
}

// Polls until `ready` holds or `ms` milliseconds have passed; wine can be slow to start.
bool wait_until(int ms, const std::function<bool()>& ready) {
    for (ULONGLONG end = GetTickCount64() + ms;; Sleep(20)) {
        if (ready()) return true;
        if (GetTickCount64() > end) return false;
    }
}

std::string code_page_text() {
    return std::to_string(GetConsoleOutputCP());
}

bool cursor_is(DWORD size, BOOL visible) {
    CONSOLE_CURSOR_INFO cursor{};
    GetConsoleCursorInfo(out, &cursor);
    return cursor.dwSize == size && (cursor.bVisible != 0) == (visible != 0);
}

// ---- keys ----------------------------------------------------------------------------------

INPUT_RECORD key_event(bool down, WORD key, WORD scan, char character, DWORD state = 0) {
    INPUT_RECORD event{};
    event.EventType = KEY_EVENT;
    event.Event.KeyEvent.bKeyDown = down;
    event.Event.KeyEvent.wRepeatCount = 1;
    event.Event.KeyEvent.wVirtualKeyCode = key;
    event.Event.KeyEvent.wVirtualScanCode = scan;
    event.Event.KeyEvent.uChar.AsciiChar = character;
    event.Event.KeyEvent.dwControlKeyState = state;
    return event;
}

using Keys = std::vector<INPUT_RECORD>;

void add_press(Keys& keys, WORD key, WORD scan, char character, DWORD state = 0) {
    keys.push_back(key_event(true, key, scan, character, state));
    keys.push_back(key_event(false, key, scan, character, state));
}

// A letter as a keyboard sends it: the upper case ones inside Shift's own press and release.
void add_letter(Keys& keys, char letter) {
    static const char* const rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    static const WORD first_scan[] = {0x10, 0x1E, 0x2C};
    WORD scan = 0;
    char upper = static_cast<char>(letter & ~0x20);
    for (int r = 0; r < 3; ++r)
        if (const char* at = std::strchr(rows[r], upper)) scan = first_scan[r] + (at - rows[r]);
    bool shifted = letter == upper;
    if (shifted) keys.push_back(key_event(true, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED));
    add_press(keys, upper, scan, letter, shifted ? SHIFT_PRESSED : 0);
    if (shifted) keys.push_back(key_event(false, VK_SHIFT, 0x2A, 0, 0));
}

enum class Arrow { up, down, left, right };

// The grey arrow keys are "enhanced"; the keypad's, with NumLock off, are not.
void add_arrow(Keys& keys, Arrow arrow, bool keypad = false) {
    static const WORD key[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};
    static const WORD scan[] = {0x48, 0x50, 0x4B, 0x4D};
    int i = static_cast<int>(arrow);
    add_press(keys, key[i], scan[i], 0, keypad ? 0 : ENHANCED_KEY);
}

void add_escape(Keys& keys) {
    add_press(keys, VK_ESCAPE, 0x01, 27);
}

void type(const Keys& keys) {
    DWORD written = 0;
    WriteConsoleInputA(in, keys.data(), static_cast<DWORD>(keys.size()), &written);
    check(written == keys.size(), "the console took only " + std::to_string(written) + " of " +
                                      std::to_string(keys.size()) + " input events");
}

void type_letters(const std::string& letters) {
    Keys keys;
    for (char c : letters) add_letter(keys, c);
    type(keys);
}

void type_escape() {
    Keys keys;
    add_escape(keys);
    type(keys);
}

// ---- the game ------------------------------------------------------------------------------

// A 32 x 32 map: walls round the edge, open inside, a wall across row 8 that keeps mobs 2
// and 3 away from a player near the start, and dots where asked.
void write_map(const char* name, const std::vector<std::pair<int, int>>& dots) {
    std::vector<std::string> rows(32, "X" + std::string(30, ' ') + "X");
    rows[0] = rows[31] = rows[8] = std::string(32, 'X');
    for (auto [col, row] : dots) rows[row][col] = '.';
    std::FILE* file = std::fopen(name, "wb");
    for (const std::string& row : rows) std::fprintf(file, "%s\n", row.c_str());
    std::fclose(file);
}

struct Running {
    HANDLE process = nullptr;
    ~Running() {
        if (process == nullptr) return;
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
        CloseHandle(process);
    }
};

void start(Running& game, const std::string& args) {
    std::string command = "dotmaze.exe " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    check(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &process) != 0,
          "could not start " + command);
    CloseHandle(process.hThread);
    game.process = process.hProcess;
}

// The exit status, or STILL_ACTIVE if the game is still running after `ms` milliseconds.
DWORD wait_for_exit(Running& game, int ms) {
    WaitForSingleObject(game.process, ms);
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(game.process, &status);
    return status;
}

std::string status_text(DWORD status) {
    if (status == STILL_ACTIVE) return "still running";
    char text[32];
    std::snprintf(text, sizeof text, "status %lu (0x%lX)", status, status);
    return text;
}

bool player_at(int col, int row) {
    return shows_at(col, row, "*");
}

bool board_shown() {
    return row_text(0, 32) == std::string(32, shade) && player_at(1, 1) && shows_at(4, 34, "SCORE");
}

void wait_for_board() {
    check(wait_until(20000, board_shown), "no board within 20 s; row 0: '" + row_text(0) + "'");
}

void expect_exit(Running& game, DWORD expected, int ms = 10000) {
    DWORD status = wait_for_exit(game, ms);
    check(status == expected,
          "expected status " + std::to_string(expected) + ", got " + status_text(status));
}

void expect_console_given_back() {
    check(GetConsoleOutputCP() == code_page_before,
          "code page " + code_page_text() + " after the game, was 850");
    check(cursor_is(cursor_size_before, TRUE), "the cursor was not put back (visible, size 50)");
}

void expect_console_taken() {
    check(GetConsoleOutputCP() == 437, "code page " + code_page_text() + " during the game");
    check(cursor_is(100, FALSE), "the cursor is not hidden during the game");
}

bool score_reads(const std::string& readout) {
    return shows_at(3, 35, readout);
}

// ---- scenarios -----------------------------------------------------------------------------

void first_frame() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    Running game;
    start(game, "plain.txt");
    wait_for_board();
    check(shows_at(0, 1, std::string(1, shade) + "*.." + std::string(27, ' ') + shade),
          "row 1 is '" + row_text(1, 32) + "'");
    check(row_text(8, 32) == std::string(32, shade), "row 8 is not wall");
    check(row_text(33, 80) == "  " + std::string(68, shade) + std::string(10, ' '),
          "the panel's top row is '" + row_text(33) + "'");
    check(shows_at(12, 34, "LIVES"), "no LIVES label");
    check(wait_until(5000, [] { return shows_at(14, 35, "3"); }), "the lives do not read 3");
    check(shows_at(3, 35, std::string(7, shade)), "the score readout shows before a key");
    type_escape();
    expect_exit(game, 0);
}

void moves_and_eating() {
    write_map("moves.txt", {{2, 1}, {3, 1}, {4, 1}, {4, 2}, {9, 1}});
    Running game;
    start(game, "moves.txt");
    wait_for_board();
    type_letters("M");
    check(wait_until(5000, [] { return player_at(2, 1) && score_reads("001/005"); }),
          "M did not move right and eat: row 1 '" + row_text(1, 32) + "'");
    // A lower-case letter is not a move; the keys behind it are worked off in turn.
    type_letters("mM");
    check(wait_until(5000, [] { return player_at(3, 1) && score_reads("002/005"); }),
          "m then M did not make one step: row 1 '" + row_text(1, 32) + "'");
    Keys keys;
    INPUT_RECORD focus{};
    focus.EventType = FOCUS_EVENT;
    keys.push_back(focus);              // not a key: nothing happens
    add_press(keys, VK_OEM_6, 0x1B, 0); // a dead key at Escape's scan code (Nordic): nothing
    add_arrow(keys, Arrow::right);
    type(keys);
    check(wait_until(5000, [] { return player_at(4, 1) && score_reads("003/005"); }),
          "the right arrow did not move and eat: row 1 '" + row_text(1, 32) + "'");
    keys.clear();
    add_arrow(keys, Arrow::down, true);
    type(keys);
    check(wait_until(5000, [] { return player_at(4, 2) && score_reads("004/005"); }),
          "the keypad's down arrow did not move and eat: row 2 '" + row_text(2, 32) + "'");
    // A burst, typed at once: every key counts, in order.
    keys.clear();
    add_arrow(keys, Arrow::up);
    add_letter(keys, 'M');
    add_arrow(keys, Arrow::right, true);
    add_letter(keys, 'M');
    add_letter(keys, 'P');
    add_letter(keys, 'K');
    type(keys);
    check(wait_until(5000, [] { return player_at(6, 2); }),
          "a burst of six keys did not end at (6,2): row 2 '" + row_text(2, 32) + "'");
    check(score_reads("004/005"), "the score changed on empty cells");
    type_escape();
    expect_exit(game, 0);
}

void win_once() {
    write_map("win.txt", {{2, 1}, {3, 1}});
    Running game;
    start(game, "win.txt");
    wait_for_board();
    type_letters("M");
    check(wait_until(5000, [] { return score_reads("001/002"); }), "the first dot not eaten");
    check(wait_for_exit(game, 300) == STILL_ACTIVE, "the game ended with a dot left");
    type_letters("M");
    expect_exit(game, 0);
    check(shows_at(0, 0, "Well done!"), "no \"Well done!\" at the top: '" + row_text(0) + "'");
    int times = times_shown("Well done!");
    check(times == 1, "\"Well done!\" shows " + std::to_string(times) + " times");
    check(!screen_contains("Press any key"), "asked for a key in a console it shares");
    check(shows_at(0, 1, "win.txt: won in ") && screen_contains(": 1st of 1"),
          "no place line: '" + row_text(1) + "'");
    check(GetFileAttributesA("state\\dotmaze\\scores.txt") != INVALID_FILE_ATTRIBUTES,
          "no scores.txt under %LOCALAPPDATA%");
    expect_console_given_back();
}

void missing_map() {
    Running game;
    start(game, "no-such-map.txt");
    expect_exit(game, 1);
    check(screen_contains("dotmaze: cannot open \"no-such-map.txt\""),
          "no message: '" + row_text(0) + "'");
    check(!screen_contains("Press any key"), "asked for a key in a console it shares");
    check(GetConsoleOutputCP() == code_page_before, "the code page changed");
}

void escape_gives_back() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    Running game;
    start(game, "plain.txt");
    wait_for_board();
    expect_console_taken();
    type_escape();
    expect_exit(game, 0, 5000);
    expect_console_given_back();
}

// Ctrl-C. (Wine has no Ctrl-Break or close event to send; the game's handler takes every
// event alike.)
void ctrl_c_gives_back() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    Running game;
    start(game, "plain.txt");
    wait_for_board();
    expect_console_taken();
    check(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0,
          "GenerateConsoleCtrlEvent failed " + std::to_string(GetLastError()));
    // Windows ends the process with STATUS_CONTROL_C_EXIT; wine with 0.
    check(wait_for_exit(game, 10000) != STILL_ACTIVE, "the game went on after Ctrl-C");
    expect_console_given_back();
}

// Ctrl-C during --record: the game's own thread writes the replay whole and ends the process
// as Windows would, and the replay plays to where the game was ended.
void ctrl_c_keeps_the_replay() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    DeleteFileA("ctrl-c.replay");
    Running game;
    start(game, "--record ctrl-c.replay plain.txt");
    wait_for_board();
    type_letters("M");
    check(wait_until(5000, [] { return score_reads("001/002"); }), "the dot was not eaten");
    check(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0, "GenerateConsoleCtrlEvent failed");
    expect_exit(game, 0xC000013A);
    expect_console_given_back();
    WIN32_FIND_DATAA found;
    check(FindFirstFileA("ctrl-c.replay.new-*", &found) == INVALID_HANDLE_VALUE,
          std::string("left behind: ") + found.cFileName);
    fresh_console();
    Running replay;
    start(replay, "--replay ctrl-c.replay --speed 16");
    expect_exit(replay, 0, 20000);
    check(screen_contains("The recorded game was ended here by signal 2."),
          "the replay does not end at the Ctrl-C: '" + row_text(1) + "'");
}

// A window too small for the game, in a console that has room for more, is made larger for
// the game and put back after it; the text the game left by the cursor is still in the
// buffer.
void grows_and_shrinks_back() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    struct Case {
        SHORT buffer_w, buffer_h, window_w, window_h;
        std::string grown_window, grown_buffer;
    };
    // Both sides too small, buffer and all; and only the height, with room in the buffer.
    for (const Case& c :
         {Case{70, 30, 70, 30, "80x41", "80x41"},
          Case{pane.X, pane.Y, pane.X, 30, size_text(pane.X, 41), size_text(pane.X, pane.Y)}}) {
        set_sizes(c.buffer_w, c.buffer_h, c.window_w, c.window_h);
        std::string window_before = window_size(), buffer_before = buffer_size();
        std::string was = "(window " + window_before + ", buffer " + buffer_before + ") ";
        Running game;
        start(game, "plain.txt");
        wait_for_board();
        check(window_size() == c.grown_window && buffer_size() == c.grown_buffer,
              was + "grown to window " + window_size() + ", buffer " + buffer_size());
        type_escape();
        expect_exit(game, 0);
        check(window_size() == window_before && buffer_size() == buffer_before,
              was + "left at window " + window_size() + ", buffer " + buffer_size());
        SMALL_RECT w = screen_info().srWindow;
        COORD cursor = screen_info().dwCursorPosition;
        check(cursor.Y >= w.Top && cursor.Y <= w.Bottom, was + "the cursor is out of sight");
        check(screen_contains("SCORE"), was + "the last screen is gone from the buffer");
        fresh_console();
    }
}

// Escape goes ahead of the keys queued before it: 300 letters would take 12 s at one a frame.
void escape_jumps_the_queue() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    Running game;
    start(game, "plain.txt");
    wait_for_board();
    Keys keys;
    for (int i = 0; i < 150; ++i) {
        add_letter(keys, 'P');
        add_letter(keys, 'H');
    }
    add_escape(keys);
    ULONGLONG typed = GetTickCount64();
    type(keys);
    DWORD status = wait_for_exit(game, 15000);
    ULONGLONG took = GetTickCount64() - typed;
    check(status == 0, "after Escape: " + status_text(status));
    check(took < 3000, "the game took " + std::to_string(took) + " ms to quit");
}

// In a console that cannot be made large enough: refused, and nothing changed.
void refused_when_too_small() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    std::string window_before = window_size(), buffer_before = buffer_size();
    Running game;
    start(game, "plain.txt");
    expect_exit(game, 1);
    std::string message = "at least 80 columns by 41 rows; this one is " + std::to_string(pane.X) +
                          " by " + std::to_string(pane.Y);
    check(screen_contains(message), "no message with both sizes: '" + row_text(0, pane.X) + "'");
    for (int row = 0; row < pane.Y; ++row) {
        std::string line = row_text(row, pane.X);
        check(line.find(message) == std::string::npos || line.find_last_not_of(' ') < 79,
              "the message is wider than 79 columns: '" + line + "'");
    }
    check(window_size() == window_before && buffer_size() == buffer_before,
          "the size changed to window " + window_size() + ", buffer " + buffer_size());
    expect_console_given_back();
}

// The editor: the cursor on the cell being edited, a wall drawn and saved, the console back.
void editor_saves() {
    DeleteFileA("drawn.txt");
    Running game;
    start(game, "--edit drawn.txt");
    auto shown = [](const char* row_1, SHORT cursor_col) {
        COORD at = screen_info().dwCursorPosition;
        return shows_at(34, 0, "drawn.txt") && shows_at(0, 1, row_1) && cursor_is(25, TRUE) &&
               at.X == cursor_col && at.Y == 1;
    };
    check(wait_until(20000, [&] { return shown("\xB0*  ", 1); }), "row 1: '" + row_text(1) + "'");
    Keys keys;
    add_arrow(keys, Arrow::right);
    add_letter(keys, 'x');
    type(keys);
    check(wait_until(5000, [&] { return shown("\xB0*\xB0 ", 3); }), "row 1: '" + row_text(1) + "'");
    type_letters("s");
    check(wait_until(5000, [] { return screen_contains("saved drawn.txt"); }), "not saved");
    type_letters("q");
    expect_exit(game, 0);
    check(GetFileAttributesA("drawn.txt") != INVALID_FILE_ATTRIBUTES, "no drawn.txt");
    expect_console_given_back();
}

// ---- a console of the game's own ---------------------------------------------------------

// Leaves the console to the game, as if it had been started from Explorer. The driver can
// come back only while the game is still on the console.
void leave_console() {
    FreeConsole();
    out = in = INVALID_HANDLE_VALUE;
}

bool come_back(Running& game) {
    if (!AttachConsole(GetProcessId(game.process))) return false;
    out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
    SetConsoleCtrlHandler(survive, TRUE);
    return out != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE;
}

// Alone on its console, the game keeps the window, and "Well done!" in it, until a key.
void own_console_ending() {
    write_map("one-dot.txt", {{2, 1}});
    Running game;
    start(game, "one-dot.txt");
    wait_for_board();
    type_letters("M");
    leave_console();
    // The game runs cls, takes half a second over its last words, and then looks whether it is
    // alone. Wine can be slow to start cls's command interpreter: allow it plenty of time.
    Sleep(6000);
    check(come_back(game), "could not attach to the game's console again");
    check(wait_until(10000, [] { return screen_contains("Press any key to close this window."); }),
          "no \"Press any key\" line: '" + row_text(1) + "'");
    check(shows_at(0, 0, "Well done!"), "no \"Well done!\" at the top: '" + row_text(0) + "'");
    check(wait_for_exit(game, 1000) == STILL_ACTIVE, "the game did not wait for a key");
    type_letters("x");
    expect_exit(game, 0);
}

// Escape is the player leaving on purpose: the window goes at once. Last in a run: the
// driver has no console to come back to.
void own_console_escape() {
    write_map("plain.txt", {{2, 1}, {3, 1}});
    Running game;
    start(game, "plain.txt");
    wait_for_board();
    type_escape();
    leave_console();
    expect_exit(game, 0, 10000);
}

struct Scenario {
    const char* name;
    void (*run)();
};

const Scenario scenarios[] = {
    {"first_frame", first_frame},
    {"moves_and_eating", moves_and_eating},
    {"win_once", win_once},
    {"missing_map", missing_map},
    {"escape_gives_back", escape_gives_back},
    {"ctrl_c_gives_back", ctrl_c_gives_back},
    {"ctrl_c_keeps_the_replay", ctrl_c_keeps_the_replay},
    {"grows_and_shrinks_back", grows_and_shrinks_back},
    {"escape_jumps_the_queue", escape_jumps_the_queue},
    {"refused_when_too_small", refused_when_too_small},
    {"editor_saves", editor_saves},
    {"own_console_ending", own_console_ending},
    {"own_console_escape", own_console_escape},
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: console_driver REPORT SCENARIO...\n");
        return 2;
    }
    report = std::fopen(argv[1], "wb");
    if (report == nullptr) return 2;
    out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE) {
        std::fprintf(report, "fail driver: no console\n");
        return 1;
    }
    SetConsoleCtrlHandler(survive, TRUE);
    pane = screen_info().dwSize;
    // The games' records go into the work folder, never the real profile's.
    char state[MAX_PATH + 8];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, state);
    std::strcpy(state + length, "\\state");
    CreateDirectoryA(state, nullptr);
    SetEnvironmentVariableA("LOCALAPPDATA", state);

    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        const Scenario* scenario = nullptr;
        for (const Scenario& s : scenarios)
            if (std::strcmp(s.name, argv[i]) == 0) scenario = &s;
        if (scenario == nullptr) {
            std::fprintf(report, "fail %s: no such scenario\n", argv[i]);
            ++failed;
            continue;
        }
        fresh_console();
        try {
            scenario->run();
            std::fprintf(report, "pass %s\n", scenario->name);
        } catch (const Failure& failure) {
            std::fprintf(report, "fail %s: %s\n", scenario->name, failure.why.c_str());
            ++failed;
        }
        std::fflush(report);
    }
    fresh_console();
    return failed == 0 ? 0 : 1;
}
