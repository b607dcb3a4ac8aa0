// The Windows console's system services: the clock, sleeping and chance, the console's
// control events (Ctrl-C, Ctrl-Break, the window closed) and the way out of the program.
#include "console/platform.h"
#include "console/windows/port.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace win_console;

namespace {

const ULONGLONG ticks_at_start = GetTickCount64();

BOOL WINAPI on_console_event(DWORD) {
    console_close();
    return FALSE; // not handled: the system's own handler goes on to end the process
}

} // namespace

// ---- control events ------------------------------------------------------------------------

void win_console::catch_control_events() {
    static bool caught = false;
    if (!caught) caught = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}

// ---- time and chance -----------------------------------------------------------------------

std::int64_t raw_clock_ms() {
    return static_cast<std::int64_t>(GetTickCount64() - ticks_at_start);
}

void raw_sleep_ms(int ms) {
    Sleep(static_cast<DWORD>(ms));
}

void raw_seed_random() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int raw_random_number() {
    return std::rand();
}

// ---- the way out ---------------------------------------------------------------------------

// Ctrl-C and the window's closing end the process from a thread of their own, while the game
// goes on in its own: nothing of the game's can safely run then.
void call_before_quitting(void (*)(int)) {}

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
