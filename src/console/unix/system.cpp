// The Unix console's system services: signals, the clock, sleeping and chance, and the way
// out. Quit signals end the game only after it has given the terminal back, a stop gives the
// terminal back while stopped, and the clock leaves out the time spent stopped.
#include "console/platform.h"
#include "console/unix/port.h"

#define NCURSES_WIDECHAR 1
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <curses.h>
#include <initializer_list>
#include <poll.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

using namespace unix_tty;

namespace {

// Everything about quits and stops, in one place. The handlers only note what was asked;
// act_on_signals alone acts on it, outside signal context, at the game's next sleep or key test.
struct Signals {
    volatile std::sig_atomic_t quit = 0; // the quit signal to die of, or 0
    volatile std::sig_atomic_t stop_asked = 0;
    // Stopped, or resumed but not yet in the foreground: the game waits, its clock too.
    volatile std::sig_atomic_t paused = 0;
    bool take_back = false; // the game's screen was on when it stopped: put it back on resume
    std::int64_t paused_at_ms = 0;
    std::int64_t stopped_ms = 0; // all the time paused, left out of the game's clock
    // For a quit signal that cannot wait: the line settings found at the start, and what
    // takes the terminal off the game's screen.
    termios found_modes{};
    bool found_modes_saved = false;
    char leave_sequence[64]{};
    int leave_length = 0;
    void (*last_words)(int) = nullptr; // the game's, for a quit
    bool stop_caught = false;
    struct sigaction found_stop {}; // what SIGTSTP did before the game took it
} signals;

std::int64_t monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const std::int64_t process_start_ms = monotonic_ms();

// A quit signal sets a flag; the game notices it at its next sleep or key test (within one
// pass), gives the terminal back, and then dies of the signal as it would have. A second one
// before that means the first could not be acted on (a write held up by a stopped terminal,
// say): it ends the process at once, putting back what it safely can.
void on_quit_signal(int sig) {
    if (signals.quit == 0) {
        signals.quit = sig;
        return;
    }
    if (signals.found_modes_saved && signals.paused == 0 && tcgetpgrp(STDOUT_FILENO) == getpgrp()) {
        pollfd out{STDOUT_FILENO, POLLOUT, 0};
        if (signals.leave_length > 0 && poll(&out, 1, 0) == 1 && (out.revents & POLLOUT) != 0)
            (void)!write(STDOUT_FILENO, signals.leave_sequence,
                         static_cast<std::size_t>(signals.leave_length));
        tcsetattr(STDOUT_FILENO, TCSANOW, &signals.found_modes);
    }
    struct sigaction fall {};
    fall.sa_handler = SIG_DFL;
    sigemptyset(&fall.sa_mask);
    sigaction(sig, &fall, nullptr);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, sig);
    sigprocmask(SIG_UNBLOCK, &mask, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void on_stop_signal(int) {
    signals.stop_asked = 1;
}

// Ctrl-Z: gives the terminal back and stops, outside signal context. The stop itself is
// SIGTSTP's default action rather than SIGSTOP, so that in an orphaned process group, where
// no shell could ever resume the game, the kernel drops it and the game goes on.
void stop() {
    signals.stop_asked = 0;
    if (signals.paused == 0) {
        signals.paused_at_ms = monotonic_ms();
        signals.take_back = in_curses;
    }
    if (in_curses) {
        in_curses = false;
        endwin();
    }
    // Only now: a second quit signal while endwin is held up by a stalled terminal must still
    // give the terminal back itself.
    signals.paused = 1;
    struct sigaction fall {};
    struct sigaction ours {};
    fall.sa_handler = SIG_DFL;
    sigemptyset(&fall.sa_mask);
    sigaction(SIGTSTP, &fall, &ours);
    raise(SIGTSTP);
    sigaction(SIGTSTP, &ours, nullptr);
}

// The one way back from a stop. Woken in the background (`bg`), the game must not touch the
// terminal: any curses call that sets it would stop the game again, and a `kill %1` would then
// find it stopped. So it takes the terminal back, with a full repaint, only once it is in the
// foreground again, and until then its clock stands still. False while it must go on waiting.
bool resume() {
    if (signals.take_back) {
        pid_t owner = tcgetpgrp(STDOUT_FILENO);
        if (owner != -1 && owner != getpgrp()) return false;
        // Settings changed while stopped are the ones to give back.
        def_shell_mode();
        tcgetattr(STDOUT_FILENO, &signals.found_modes);
    }
    signals.stopped_ms += monotonic_ms() - signals.paused_at_ms;
    // Before the repaint, which a stalled terminal can hold up: a second quit signal meanwhile
    // must give the terminal back itself.
    signals.paused = 0;
    if (signals.take_back) {
        in_curses = true;
        repaint_all();
        refresh();
    }
    return true;
}

} // namespace

// ---- signals -------------------------------------------------------------------------------

void unix_tty::quit_if_signalled() {
    int sig = signals.quit;
    if (sig == 0) return;
    console_close();
    if (signals.last_words != nullptr) std::exchange(signals.last_words, nullptr)(sig);
    // A lost terminal counts as SIGHUP even where SIGHUP is ignored: then just its status.
    struct sigaction now {};
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    std::_Exit(128 + sig);
}

void call_before_quitting(void (*last_words)(int)) {
    signals.last_words = last_words;
}

bool quit_pending() {
    return signals.quit != 0;
}

// Output still buffered would die with the process.
void quit_if_pending() {
    if (signals.quit == 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    quit_if_signalled();
}

// With the terminal the shell's again, Ctrl-Z stops the game at once as it stops any program,
// also one that came while the terminal was being given back; a quit comes first.
void unix_tty::let_stops_through() {
    if (signals.stop_caught) sigaction(SIGTSTP, &signals.found_stop, nullptr);
    signals.stop_caught = false;
    if (signals.stop_asked == 0 || signals.quit != 0) return;
    signals.stop_asked = 0;
    std::raise(SIGTSTP);
}

void unix_tty::hang_up() {
    if (signals.quit == 0) signals.quit = SIGHUP;
}

// Ours before curses starts, so curses leaves them alone. A signal that whoever started the
// game ignores (nohup, a shell without job control) stays ignored.
void unix_tty::catch_signals() {
    signals.found_modes_saved = tcgetattr(STDOUT_FILENO, &signals.found_modes) == 0;
    struct sigaction action {};
    struct sigaction found {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep must wake up and notice the flag
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP}) {
        if (sigaction(sig, nullptr, &found) == 0 && found.sa_handler == SIG_IGN) continue;
        action.sa_handler = sig == SIGTSTP ? on_stop_signal : on_quit_signal;
        sigaction(sig, &action, sig == SIGTSTP ? &signals.found_stop : nullptr);
        if (sig == SIGTSTP) signals.stop_caught = true;
    }
}

// A quit comes first, also while paused: `kill %1` sends SIGTERM, then SIGCONT, and the
// terminal is the shell's by then, so it is left alone.
void unix_tty::act_on_signals() {
    for (;;) {
        quit_if_signalled();
        if (signals.stop_asked != 0)
            stop();
        else if (signals.paused == 0 || resume())
            return;
        else {
            timespec nap{0, 50 * 1000000L}; // cut short by any signal
            nanosleep(&nap, nullptr);
        }
    }
}

void unix_tty::save_leave_sequence() {
    signals.leave_length = 0;
    for (const char* name : {"sgr0", "cnorm", "rmkx", "rmcup"}) {
        const char* cap = tigetstr(name);
        if (cap == nullptr || cap == reinterpret_cast<char*>(-1) || std::strstr(cap, "$<"))
            continue; // absent, or with delays only curses knows how to pad
        int length = static_cast<int>(std::strlen(cap));
        if (signals.leave_length + length > static_cast<int>(sizeof signals.leave_sequence)) break;
        std::memcpy(signals.leave_sequence + signals.leave_length, cap,
                    static_cast<std::size_t>(length));
        signals.leave_length += length;
    }
}

// ---- time and chance -----------------------------------------------------------------------

std::int64_t raw_clock_ms() {
    return monotonic_ms() - process_start_ms - signals.stopped_ms;
}

void raw_sleep_ms(int ms) {
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) act_on_signals();
    act_on_signals();
}

void raw_seed_random() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int raw_random_number() {
    return std::rand() % 32768;
}
