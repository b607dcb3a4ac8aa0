// The platform seam on the Windows console: Win32 console calls, and conio for the keys.
//
// The console already speaks the game's language. _getch hands an arrow key over as a prefix
// byte and then its scan code, and code page 437 draws byte 176 as the light-shade block. So
// this file is mostly one call per service; its real work is giving the console back its code
// page and its cursor however the game ends: normally, through exit, or by Ctrl-C, Ctrl-Break
// or the window being closed.
#include "console/platform.h"

#include <windows.h>

#include <atomic>
#include <conio.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

const int least_width = 80;
const int least_height = 41; // the playfield's 40 rows, then one for the closing words
const SHORT buffer_rows = 40, buffer_cols = 80;
const SHORT words_row = 40;
const UINT code_page_with_shade = 437;

HANDLE console_out = INVALID_HANDLE_VALUE;
// Where the window showed the buffer when the game began. A console that has scrolled has
// its window further down the buffer, and drawing at the buffer's own top would not be seen.
SHORT window_left = 0, window_top = 0;

UINT code_page_before = 0;
CONSOLE_CURSOR_INFO cursor_before{};
bool have_cursor_before = false;
// Set while the console is ours. Ctrl-C runs its handler on a thread of its own, so the
// hand-back must happen exactly once whichever thread gets there first.
std::atomic<bool> console_is_ours{false};

const ULONGLONG ticks_at_start = GetTickCount64();

BOOL WINAPI on_console_event(DWORD) {
    console_close();
    return FALSE; // not handled: the system's own handler goes on to end the process
}

} // namespace

// ---- opening and closing -------------------------------------------------------------------

bool console_open(char* why, int why_size) {
    console_out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (console_out == nullptr || console_out == INVALID_HANDLE_VALUE ||
        !GetConsoleScreenBufferInfo(console_out, &screen)) {
        std::snprintf(why, why_size, "standard output must be a console");
        return false;
    }
    int width = screen.srWindow.Right - screen.srWindow.Left + 1;
    int height = screen.srWindow.Bottom - screen.srWindow.Top + 1;
    if (width < least_width || height < least_height) {
        std::snprintf(why, why_size,
                      "the console window must be at least %d columns by %d rows; this one is "
                      "%d by %d",
                      least_width, least_height, width, height);
        return false;
    }
    window_left = screen.srWindow.Left;
    window_top = screen.srWindow.Top;

    have_cursor_before = GetConsoleCursorInfo(console_out, &cursor_before) != 0;
    code_page_before = GetConsoleOutputCP();

    static bool hooks_set = false;
    if (!hooks_set) {
        SetConsoleCtrlHandler(on_console_event, TRUE);
        std::atexit(console_close);
        hooks_set = true;
    }
    console_is_ours = true;
    SetConsoleOutputCP(code_page_with_shade);
    return true;
}

void console_close() {
    if (!console_is_ours.exchange(false)) return;
    std::fflush(stdout);
    if (have_cursor_before) SetConsoleCursorInfo(console_out, &cursor_before);
    if (code_page_before != 0) SetConsoleOutputCP(code_page_before);
}

// The console has one screen: what the game printed last is still there after the end.
bool console_close_restores_screen() {
    return false;
}

// ---- output --------------------------------------------------------------------------------

void hidecursor() {
    CONSOLE_CURSOR_INFO hidden;
    hidden.dwSize = 100;
    hidden.bVisible = FALSE;
    SetConsoleCursorInfo(console_out, &hidden);
}

void park_cursor() {
    COORD place = {window_left, static_cast<SHORT>(window_top + words_row)};
    SetConsoleCursorPosition(console_out, place);
}

// Row by row: one long write would wrap at the console buffer's width, and that is 80 only on
// old consoles (Windows 10 starts at 120), so the rows would slide apart.
void draw_buffer(const unsigned char* kursor) {
    for (SHORT row = 0; row < buffer_rows; ++row) {
        DWORD cells = row == buffer_rows - 1 ? buffer_cols - 1 : buffer_cols; // no last cell
        COORD start = {window_left, static_cast<SHORT>(window_top + row)};
        DWORD written = 0;
        WriteConsoleOutputCharacterA(console_out,
                                     reinterpret_cast<const char*>(kursor + row * buffer_cols),
                                     cells, start, &written);
    }
}

void clear_screen() {
    std::system("cls");
    // cls leaves the window at the very top of the buffer.
    window_left = 0;
    window_top = 0;
}

void print_text(const char* text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

void ring_bell() {
    std::printf("%s", "\a");
    std::fflush(stdout);
}

// ---- keyboard ------------------------------------------------------------------------------

bool key_waiting() {
    return _kbhit() != 0;
}

int read_key() {
    return _getch() & 0xFF;
}

// ---- time and chance -----------------------------------------------------------------------

std::int64_t clock_ms() {
    return static_cast<std::int64_t>(GetTickCount64() - ticks_at_start);
}

void sleep_ms(int ms) {
    Sleep(static_cast<DWORD>(ms));
}

void seed_random() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int random_number() {
    return std::rand();
}
