// The platform seam on the Windows console: taking the console window, drawing in it and
// giving it back, through Win32 console calls only.
//
// The console already speaks most of the game's language: code page 437 draws the shade as the
// light-shade block, and a key event carries the scan code the game steers by. The real work
// is in three places. The window is made large enough for the game, when the screen allows
// it, so that a player need not find the console's layout settings. The keys are read from
// the console's input buffer directly (keys.cpp), so that an Escape queued behind other keys
// can be seen and handed over first. And the console gets back its code page, its cursor, its
// buffer size and its window however the game ends: normally, through exit, or by Ctrl-C,
// Ctrl-Break or the window being closed.
#include "console/platform.h"
#include "console/windows/port.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace win_console;

namespace {

const UINT code_page_with_shade = 437;

HANDLE console_out = INVALID_HANDLE_VALUE;
// Where the window showed the buffer when the game began. A console that has scrolled has
// its window further down the buffer, and drawing at the buffer's own top would not be seen.
SHORT window_left = 0, window_top = 0;

UINT code_page_before = 0;
CONSOLE_CURSOR_INFO cursor_before{};
bool have_cursor_before = false;
// Set when the game had to make the buffer or the window larger, with what they were.
bool resized = false;
COORD buffer_before{};
SHORT width_before = 0, height_before = 0;

// The Ctrl-C handler runs on a thread of its own. Taking the console, hiding the cursor and
// giving the console back happen under this lock, so the handler can neither put things back
// halfway through a change nor let a change slip in after it has put them back.
CRITICAL_SECTION console_lock;
bool console_is_ours = false;

struct LockInit {
    LockInit() { InitializeCriticalSection(&console_lock); }
} lock_init;

struct Locked {
    Locked() { EnterCriticalSection(&console_lock); }
    ~Locked() { LeaveCriticalSection(&console_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

SHORT width_of(const SMALL_RECT& window) {
    return static_cast<SHORT>(window.Right - window.Left + 1);
}

SHORT height_of(const SMALL_RECT& window) {
    return static_cast<SHORT>(window.Bottom - window.Top + 1);
}

// Shows a window of `width` x `height` cells at (left, top), moved back inside a buffer of
// `buffer` cells where it would stick out.
bool show_window(SHORT left, SHORT top, SHORT width, SHORT height, COORD buffer) {
    SMALL_RECT window;
    window.Left = std::max<SHORT>(0, std::min<SHORT>(left, buffer.X - width));
    window.Top = std::max<SHORT>(0, std::min<SHORT>(top, buffer.Y - height));
    window.Right = static_cast<SHORT>(window.Left + width - 1);
    window.Bottom = static_cast<SHORT>(window.Top + height - 1);
    return SetConsoleWindowInfo(console_out, TRUE, &window) != 0;
}

// Makes the window at least 80 x 41, growing the buffer first where the window would not fit
// in it; a larger width or height stays as it is. Whether it worked is judged by the size the
// console then reports: a console may accept the calls and keep its size.
void grow_window(const CONSOLE_SCREEN_BUFFER_INFO& screen) {
    SHORT width = std::max<SHORT>(width_of(screen.srWindow), needed_cols);
    SHORT height = std::max<SHORT>(height_of(screen.srWindow), needed_rows);
    COORD largest = GetLargestConsoleWindowSize(console_out);
    if (largest.X < width || largest.Y < height) return; // the screen has no room for it

    resized = true;
    buffer_before = screen.dwSize;
    width_before = width_of(screen.srWindow);
    height_before = height_of(screen.srWindow);
    COORD buffer = {std::max(screen.dwSize.X, width), std::max(screen.dwSize.Y, height)};
    if (buffer.X != screen.dwSize.X || buffer.Y != screen.dwSize.Y)
        SetConsoleScreenBufferSize(console_out, buffer);
    show_window(screen.srWindow.Left, screen.srWindow.Top, width, height, buffer);
}

// Puts the window and then the buffer back to their sizes (in that order: the window must fit
// in the buffer). The game's last words are by the cursor, so the window keeps it in sight, and
// a buffer that was made taller first has its text moved up so that the cursor's row stays.
void put_size_back() {
    CONSOLE_SCREEN_BUFFER_INFO now;
    if (!GetConsoleScreenBufferInfo(console_out, &now)) return;
    COORD cursor = now.dwCursorPosition;
    if (cursor.Y >= buffer_before.Y) {
        SHORT up = static_cast<SHORT>(cursor.Y - buffer_before.Y + 1);
        SMALL_RECT below = {0, up, static_cast<SHORT>(now.dwSize.X - 1),
                            static_cast<SHORT>(now.dwSize.Y - 1)};
        CHAR_INFO blank;
        blank.Char.AsciiChar = ' ';
        blank.Attributes = now.wAttributes;
        ScrollConsoleScreenBufferA(console_out, &below, nullptr, COORD{0, 0}, &blank);
        cursor.Y = static_cast<SHORT>(cursor.Y - up);
        SetConsoleCursorPosition(console_out, cursor);
    }
    SHORT top = std::max<SHORT>(now.srWindow.Top, static_cast<SHORT>(cursor.Y - height_before + 1));
    show_window(now.srWindow.Left, top, width_before, height_before, buffer_before);
    SetConsoleScreenBufferSize(console_out, buffer_before);
}

// With the lock held.
void give_back() {
    if (!console_is_ours) return;
    console_is_ours = false;
    std::fflush(stdout);
    if (resized) put_size_back();
    resized = false;
    if (have_cursor_before) SetConsoleCursorInfo(console_out, &cursor_before);
    if (code_page_before != 0) SetConsoleOutputCP(code_page_before);
    if (console_in != INVALID_HANDLE_VALUE) CloseHandle(console_in);
    console_in = INVALID_HANDLE_VALUE;
}

} // namespace

// ---- opening and closing -------------------------------------------------------------------

bool console_open(char* why, int why_size) {
    Locked locked;
    console_out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (console_out == nullptr || console_out == INVALID_HANDLE_VALUE ||
        !GetConsoleScreenBufferInfo(console_out, &screen)) {
        std::snprintf(why, why_size, "standard output must be a console");
        return false;
    }
    console_in = open_keyboard();
    if (console_in == INVALID_HANDLE_VALUE) {
        std::snprintf(why, why_size, "the console has no keyboard");
        return false;
    }

    catch_control_events();
    static bool registered = false;
    if (!registered) registered = std::atexit(console_close) == 0;
    // The handler waits for the lock, so from here on whatever is changed is put back.
    console_is_ours = true;
    have_cursor_before = GetConsoleCursorInfo(console_out, &cursor_before) != 0;
    code_page_before = GetConsoleOutputCP();

    SHORT width = width_of(screen.srWindow), height = height_of(screen.srWindow);
    if (width < needed_cols || height < needed_rows) {
        grow_window(screen);
        GetConsoleScreenBufferInfo(console_out, &screen);
        if (width_of(screen.srWindow) < needed_cols || height_of(screen.srWindow) < needed_rows) {
            // A line of 79 columns at most, with the program's name before it: one side of a
            // refused window has two digits.
            std::snprintf(why, why_size,
                          "console needs at least %d columns by %d rows; this one is %d by %d",
                          needed_cols, needed_rows, width, height);
            give_back();
            return false;
        }
    }
    window_left = screen.srWindow.Left;
    window_top = screen.srWindow.Top;
    SetConsoleOutputCP(code_page_with_shade);
    return true;
}

void console_close() {
    Locked locked;
    give_back();
}

// The console has one screen: what the game printed last is still there after the end.
bool console_close_restores_screen() {
    return false;
}

// A console window that the game has to itself (started from Explorer) closes the moment the
// game ends, and would take a refusal or the last words with it unread.
void console_farewell() {
    DWORD processes[2];
    if (quit_by_escape || GetConsoleProcessList(processes, 2) != 1) return;
    HANDLE keyboard = open_keyboard();
    if (keyboard == INVALID_HANDLE_VALUE) return;
    std::printf("\nPress any key to close this window.");
    std::fflush(stdout);
    FlushConsoleInputBuffer(keyboard); // keys typed into the game do not count
    INPUT_RECORD event;
    DWORD read = 0;
    while (ReadConsoleInputA(keyboard, &event, 1, &read) && read == 1) {
        const KEY_EVENT_RECORD& key = event.Event.KeyEvent;
        if (event.EventType == KEY_EVENT && key.bKeyDown &&
            !is_modifier_or_lock(key.wVirtualKeyCode))
            break;
    }
    CloseHandle(keyboard);
}

// ---- output --------------------------------------------------------------------------------

void raw_hidecursor() {
    Locked locked;
    if (!console_is_ours) return; // given back already: the cursor stays as it was found
    CONSOLE_CURSOR_INFO hidden;
    hidden.dwSize = 100;
    hidden.bVisible = FALSE;
    SetConsoleCursorInfo(console_out, &hidden);
}

void show_cursor_at(int row, int col) {
    Locked locked;
    if (!console_is_ours) return;
    CONSOLE_CURSOR_INFO shown;
    shown.dwSize = 25;
    shown.bVisible = TRUE;
    SetConsoleCursorInfo(console_out, &shown);
    SetConsoleCursorPosition(console_out, COORD{static_cast<SHORT>(window_left + col),
                                                static_cast<SHORT>(window_top + row)});
}

void raw_park_cursor() {
    COORD place = {window_left, static_cast<SHORT>(window_top + words_row)};
    SetConsoleCursorPosition(console_out, place);
}

// Row by row: one long write would wrap at the console buffer's width, and that is 80 only on
// old consoles (Windows 10 starts at 120), so the rows would slide apart. Code page 437 has no
// multiplication sign: a viewer's status line shows an 'x' for it.
void raw_draw_buffer(const unsigned char* kursor) {
    for (SHORT row = 0; row < screen_rows; ++row) {
        DWORD cells = row == screen_rows - 1 ? screen_cols - 1 : screen_cols; // no last cell
        char line[screen_cols];
        for (DWORD col = 0; col < cells; ++col) {
            unsigned char c = kursor[row * screen_cols + col];
            line[col] = static_cast<char>(c == times_sign ? 'x' : c);
        }
        COORD start = {window_left, static_cast<SHORT>(window_top + row)};
        DWORD written = 0;
        WriteConsoleOutputCharacterA(console_out, line, cells, start, &written);
    }
}

void raw_clear_screen() {
    std::system("cls");
    // cls leaves the window at the very top of the buffer.
    window_left = 0;
    window_top = 0;
}

void raw_print_text(const char* text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

void raw_ring_bell() {
    std::printf("%s", "\a");
    std::fflush(stdout);
}
