// The Windows console's system services: the clock, sleeping and chance, the console's
// control events (Ctrl-C, Ctrl-Break, the window closed) and the way out of the program.
#include "console/platform.h"
#include "console/windows/port.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

using namespace win_console;

HANDLE win_console::quit_wakes = CreateEventW(nullptr, TRUE, FALSE, nullptr);

namespace {

const ULONGLONG ticks_at_start = GetTickCount64();

// The console's control events come on a thread of their own, while the game goes on in its
// own, where nothing can safely be done for it. So the handler asks, and waits: the game's
// thread acts on it at its next sleep or key test (within a frame), or once its last files are
// written, as the Unix terminal acts on a quit signal, and ends the process.
std::atomic<int> quit_asked{0}; // the event as a signal's number, or 0
// From the console taken to the last files written: the game's thread will come to act.
std::atomic<bool> game_will_act{false};
void (*last_words)(int) = nullptr;

// As a replay's end line names it. A closed window, a logoff or a shutdown is a hang-up, as a
// terminal gone is on Unix.
constexpr int hang_up_signal = 1;

int signal_of(DWORD event) {
    if (event == CTRL_C_EVENT) return SIGINT;
    if (event == CTRL_BREAK_EVENT) return SIGBREAK;
    return hang_up_signal;
}

// What Windows itself ends a process with on Ctrl-C.
constexpr UINT control_c_exit = 0xC000013A;

[[noreturn]] void end_process() {
    std::fflush(stdout);
    std::fflush(stderr);
    ExitProcess(control_c_exit);
}

// On the game's thread.
void quit_if_asked() {
    int sig = quit_asked;
    if (sig == 0 || !game_will_act) return;
    console_close();
    if (last_words != nullptr) std::exchange(last_words, nullptr)(sig);
    end_process();
}

BOOL WINAPI on_console_event(DWORD event) {
    // A second event means the first could not be acted on: it ends the process at once.
    if (quit_asked.exchange(signal_of(event)) == 0 && game_will_act) {
        SetEvent(quit_wakes);
        // The process ends before this wait does, unless the game's thread is stuck. A window
        // being closed is given five seconds in all.
        Sleep(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 10000 : 4000);
    }
    console_close();
    return FALSE; // not handled: the system's own handler goes on to end the process
}

} // namespace

// ---- control events ------------------------------------------------------------------------

void win_console::catch_control_events() {
    static bool caught = false;
    if (!caught) caught = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
    game_will_act = caught;
}

void win_console::act_on_control_events() {
    quit_if_asked();
}

// ---- time and chance -----------------------------------------------------------------------

std::int64_t raw_clock_ms() {
    return static_cast<std::int64_t>(GetTickCount64() - ticks_at_start);
}

void raw_sleep_ms(int ms) {
    WaitForSingleObject(quit_wakes, static_cast<DWORD>(ms));
    quit_if_asked();
}

void raw_seed_random() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int raw_random_number() {
    return std::rand();
}

// ---- the way out ---------------------------------------------------------------------------

void call_before_quitting(void (*words)(int)) {
    last_words = words;
}

bool quit_pending() {
    return quit_asked != 0;
}

// From here on an event ends the process as it would any program's.
void quit_if_pending() {
    game_will_act = false; // before the look, so that no event falls between the two
    if (quit_asked != 0) end_process();
}
