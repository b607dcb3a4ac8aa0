// The platform seam on a Unix terminal, through ncursesw.
//
// Kept thin on purpose: curses does the terminfo lookups, decodes the keys and sends only the
// cells that changed; this file maps the game's few services onto it and makes sure that
// every way out of the process gives the terminal back as it was found.
#include "console/platform.h"

#define NCURSES_WIDECHAR 1
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <curses.h>
#include <initializer_list>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#undef clear_screen // term.h's name for a capability; here, the seam's function

namespace {

constexpr int needed_cols = 80;
constexpr int needed_rows = 41; // the buffer's 40 rows and the row the end texts go on
constexpr int drawn_cells = 40 * 80 - 1;
constexpr int park_row = 40;
constexpr int escape_delay_ms = 25; // curses' default of a second would make Escape sluggish
constexpr int arrow_prefix = 0xE0;

SCREEN* terminal = nullptr;
bool in_curses = false;
bool utf8 = false;
bool own_screen = false; // the terminal keeps a screen of its own under the game's

unsigned char shown[drawn_cells]; // what the terminal was last sent, to send only changes
bool shown_valid = false;

int print_row = 0, print_col = 0;

// Keys read from curses and not yet handed to the game, in the order typed: a byte each, or
// an arrow as arrow_key plus its second code. As large as the kernel's own input buffer;
// whatever does not fit waits there, unread.
constexpr int escape_key = 27;
constexpr int arrow_key = 0x100;
constexpr int queue_size = 4096;
unsigned short queued[queue_size];
int queue_head = 0, queue_count = 0;
bool escape_queued = false; // a lone Escape was among the keys read: it is handed over next
int second_code = -1;       // an arrow's second code, owed to the next read

volatile std::sig_atomic_t quit_signal = 0;
volatile std::sig_atomic_t stop_asked = 0;
std::int64_t stopped_ms = 0; // time spent stopped by Ctrl-Z, left out of the game's clock

// For a quit signal that cannot wait: the line settings found at the start, and what takes
// the terminal off the game's screen.
termios found_modes{};
bool found_modes_saved = false;
char leave_sequence[64];
int leave_length = 0;

// ---- clock ---------------------------------------------------------------------------------

std::int64_t monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const std::int64_t process_start_ms = monotonic_ms();

// ---- drawing -------------------------------------------------------------------------------

void put_cell(int row, int col, unsigned char c) {
    if (c == 176) {
        if (utf8) {
            cchar_t cell{};
            const wchar_t shade[] = {L'\u2591', L'\0'};
            setcchar(&cell, shade, A_NORMAL, 0, nullptr);
            mvadd_wch(row, col, &cell);
        } else {
            mvaddch(row, col, ACS_CKBOARD);
        }
        return;
    }
    // Anything unprintable would spread over several cells and break the rows' alignment.
    mvaddch(row, col, c >= 0x20 && c < 0x7F ? c : '?');
}

// After a resize or a resume the terminal's picture can't be trusted: send everything again.
void repaint_all() {
    shown_valid = false;
    clearok(curscr, TRUE);
}

// ---- signals -------------------------------------------------------------------------------

// A quit signal sets a flag; the game notices it at its next sleep or key test (within one
// pass), gives the terminal back, and then dies of the signal as it would have. A second one
// before that means the first could not be acted on (a write held up by a stopped terminal,
// say): it ends the process at once, putting back what it safely can.
void on_quit_signal(int sig) {
    if (quit_signal == 0) {
        quit_signal = sig;
        return;
    }
    if (found_modes_saved && tcgetpgrp(STDOUT_FILENO) == getpgrp()) {
        pollfd out{STDOUT_FILENO, POLLOUT, 0};
        if (leave_length > 0 && poll(&out, 1, 0) == 1 && (out.revents & POLLOUT) != 0)
            (void)!write(STDOUT_FILENO, leave_sequence, static_cast<std::size_t>(leave_length));
        tcsetattr(STDOUT_FILENO, TCSANOW, &found_modes);
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
    stop_asked = 1;
}

void quit_if_signalled() {
    int sig = quit_signal;
    if (sig == 0) return;
    console_close();
    // A lost terminal counts as SIGHUP even where SIGHUP is ignored: then just its status.
    struct sigaction now {};
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    std::_Exit(128 + sig);
}

// Ours before curses starts, so curses leaves them alone. A signal that whoever started the
// game ignores (nohup, a shell without job control) stays ignored.
void catch_signals() {
    struct sigaction action {};
    struct sigaction found {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep must wake up and notice the flag
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP}) {
        if (sigaction(sig, nullptr, &found) == 0 && found.sa_handler == SIG_IGN) continue;
        action.sa_handler = sig == SIGTSTP ? on_stop_signal : on_quit_signal;
        sigaction(sig, &action, nullptr);
    }
}

// Ctrl-Z: gives the terminal back, stops, and on waking takes it again with a full repaint,
// all outside signal context. Waking may come with an order to quit (`kill %1` sends SIGTERM,
// then SIGCONT): the terminal is the shell's by then and is left alone. The stop itself is
// SIGTSTP's default action rather than SIGSTOP, so that in an orphaned process group, where
// no shell could ever resume the game, the kernel drops it and the game goes on.
void stop_if_asked() {
    if (stop_asked == 0) return;
    stop_asked = 0;
    bool was_open = in_curses;
    if (was_open) {
        in_curses = false;
        endwin();
    }
    struct sigaction fall {};
    struct sigaction ours {};
    fall.sa_handler = SIG_DFL;
    sigemptyset(&fall.sa_mask);
    std::int64_t stopped_at = monotonic_ms();
    sigaction(SIGTSTP, &fall, &ours);
    raise(SIGTSTP);
    sigaction(SIGTSTP, &ours, nullptr);
    stopped_ms += monotonic_ms() - stopped_at;
    if (quit_signal != 0 || !was_open) return;
    in_curses = true;
    // Settings changed while stopped are the ones to give back; but in the background they
    // are the shell's line editor's, not the user's.
    if (tcgetpgrp(STDOUT_FILENO) == getpgrp()) {
        def_shell_mode();
        tcgetattr(STDOUT_FILENO, &found_modes);
    }
    repaint_all();
    refresh();
}

void act_on_signals() {
    quit_if_signalled();
    stop_if_asked();
    quit_if_signalled();
}

// What endwin would send to leave the game's screen, for a signal handler to send instead.
void save_leave_sequence() {
    leave_length = 0;
    for (const char* name : {"sgr0", "cnorm", "rmcup"}) {
        const char* cap = tigetstr(name);
        if (cap == nullptr || cap == reinterpret_cast<char*>(-1) || std::strstr(cap, "$<"))
            continue; // absent, or with delays only curses knows how to pad
        int length = static_cast<int>(std::strlen(cap));
        if (leave_length + length > static_cast<int>(sizeof leave_sequence)) break;
        std::memcpy(leave_sequence + leave_length, cap, static_cast<std::size_t>(length));
        leave_length += length;
    }
}

// End-of-file or a hang-up on the keyboard: the terminal is gone, though no SIGHUP came (it
// was not the controlling terminal, say). curses reports it as no key; the terminal says which.
bool keyboard_gone() {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, 0) != 1) return false;
    if ((in.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    int waiting = 0;
    return ioctl(STDIN_FILENO, FIONREAD, &waiting) != 0 || waiting == 0;
}

// ---- keys ----------------------------------------------------------------------------------

// An escape byte that curses could not match to a key: the rest of a sequence (or an Alt
// chord) follows at once, a lone Escape does not. Sequences and Alt chords are swallowed whole
// so that nothing but a real Escape key ever quits; but another Escape, or a key curses has
// already decoded (an arrow, a resize), is a key of its own: it is pushed back, and the first
// Escape counts. An arrow key's own sequence can arrive here too: the terminal sends ESC [ A or
// ESC O A by its keypad mode, and curses switches that mode back on only at its first read
// after a start or a resume. Returns the key to queue, or -1 for none.
int after_escape() {
    int next = getch();
    if (next == ERR) return escape_key;
    if (next == escape_key || next > 0xFF) {
        ungetch(next);
        return escape_key;
    }
    if (next != '[' && next != 'O') return -1;
    int c, parameters = 0;
    while ((c = getch()) != ERR && c >= 0x20 && c <= 0x3F) ++parameters;
    if (parameters > 0) return -1;
    switch (c) {
    case 'A':
        return arrow_key + 0x48;
    case 'B':
        return arrow_key + 0x50;
    case 'C':
        return arrow_key + 0x4D;
    case 'D':
        return arrow_key + 0x4B;
    default:
        return -1;
    }
}

// Turns one curses key into the key to queue, or -1 when it gives the game none.
int translate_key(int ch) {
    switch (ch) {
    case KEY_UP:
        return arrow_key + 0x48;
    case KEY_DOWN:
        return arrow_key + 0x50;
    case KEY_LEFT:
        return arrow_key + 0x4B;
    case KEY_RIGHT:
        return arrow_key + 0x4D;
    case KEY_RESIZE:
        repaint_all();
        return -1;
    case escape_key:
        return after_escape();
    default:
        return ch >= 0 && ch <= 0xFF ? ch : -1; // function keys and the like do nothing
    }
}

// Moves all the keyboard has sent into the queue, as far as it fits. A lone Escape ends the
// game at once, so reading stops there: nothing after it matters.
void take_keys() {
    while (!escape_queued && queue_count < queue_size) {
        int ch = getch();
        if (ch == ERR) {
            if (keyboard_gone() && quit_signal == 0) quit_signal = SIGHUP;
            return;
        }
        int key = translate_key(ch);
        if (key == escape_key)
            escape_queued = true;
        else if (key >= 0)
            queued[(queue_head + queue_count++) % queue_size] = static_cast<unsigned short>(key);
    }
}

bool too_small(int cols, int rows, char* why, int why_size) {
    if (cols >= needed_cols && rows >= needed_rows) return false;
    std::snprintf(why, why_size,
                  "the terminal must be at least %d columns by %d rows; this one is %d by %d",
                  needed_cols, needed_rows, cols, rows);
    return true;
}

// Asks the terminfo database alone, before anything is sent to the terminal or set on it,
// whether the terminal is known and can put the cursor anywhere: without that, every frame
// would come out as one long line.
bool can_place_cursor(char* why, int why_size) {
    const char* term = std::getenv("TERM");
    if (term == nullptr) term = "";
    int found = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &found) != OK) {
        std::snprintf(why, why_size, "the terminal type \"%s\" is not known here", term);
        return false;
    }
    const char* cup = tigetstr("cup");
    bool placeable = cup != nullptr && cup != reinterpret_cast<char*>(-1);
    del_curterm(cur_term);
    if (!placeable)
        std::snprintf(why, why_size, "the terminal type \"%s\" cannot place the cursor", term);
    return placeable;
}

} // namespace

// ---- opening and closing -------------------------------------------------------------------

bool console_open(char* why, int why_size) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        std::snprintf(why, why_size, "standard input and output must be a terminal");
        return false;
    }
    std::setlocale(LC_ALL, "");
    utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

    // Measure before taking the terminal over, so a refusal leaves it untouched.
    winsize size{};
    bool measured = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
    if (measured && too_small(size.ws_col, size.ws_row, why, why_size)) return false;
    // LINES and COLUMNS in the environment would otherwise win over the terminal's own size.
    use_tioctl(TRUE);
    if (!can_place_cursor(why, why_size)) return false;

    found_modes_saved = tcgetattr(STDOUT_FILENO, &found_modes) == 0;
    catch_signals(); // curses keeps its own for a resize
    static bool registered = false;
    if (!registered) registered = std::atexit(console_close) == 0;

    terminal = newterm(nullptr, stdout, stdin);
    if (terminal == nullptr) {
        const char* term = std::getenv("TERM");
        std::snprintf(why, why_size, "the terminal type \"%s\" is not known here",
                      term != nullptr ? term : "");
        return false;
    }
    in_curses = true;
    // Without a second screen, the game's last frame and words stay in view after the end.
    const char* leave_screen = tigetstr("rmcup");
    own_screen = leave_screen != nullptr && leave_screen != reinterpret_cast<char*>(-1);
    // A terminal that would not tell its size beforehand: curses has found one by now.
    if (!measured && too_small(COLS, LINES, why, why_size)) {
        console_close();
        return false;
    }
    cbreak(); // not raw: Ctrl-C and Ctrl-Z keep working
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    leaveok(stdscr, TRUE);
    set_escdelay(escape_delay_ms);
    // Flow control off while the game has the terminal: Ctrl-S would stop its output, and the
    // next write would hold up the game and every signal meant to end it. Cleared after the
    // other mode calls and saved as the program's mode, so that curses puts it back after a
    // resume; endwin gives back the found settings, flow control and all.
    termios modes{};
    if (tcgetattr(STDOUT_FILENO, &modes) == 0) {
        modes.c_iflag &= ~static_cast<tcflag_t>(IXON);
        tcsetattr(STDOUT_FILENO, TCSANOW, &modes);
    }
    def_prog_mode();
    save_leave_sequence();
    shown_valid = false;
    queue_head = queue_count = 0;
    escape_queued = false;
    second_code = -1;
    return true;
}

void console_close() {
    if (!in_curses) return;
    in_curses = false;
    curs_set(1);
    endwin();
    std::fflush(stdout);
}

bool console_close_restores_screen() {
    return own_screen;
}

// ---- output --------------------------------------------------------------------------------

void hidecursor() {
    curs_set(0);
}

void park_cursor() {
    print_row = park_row;
    print_col = 0;
}

void draw_buffer(const unsigned char* kursor) {
    int rows = getmaxy(stdscr), cols = getmaxx(stdscr);
    for (int i = 0; i < drawn_cells; ++i) {
        if (shown_valid && shown[i] == kursor[i]) continue;
        shown[i] = kursor[i];
        int row = i / 80, col = i % 80;
        if (row < rows && col < cols) put_cell(row, col, kursor[i]);
    }
    shown_valid = true;
    refresh();
}

void clear_screen() {
    clear();
    refresh();
    shown_valid = false;
    print_row = print_col = 0;
}

void print_text(const char* text) {
    mvaddstr(print_row, print_col, text);
    getyx(stdscr, print_row, print_col);
    refresh();
}

void ring_bell() {
    beep();
}

// ---- keyboard ------------------------------------------------------------------------------

bool key_waiting() {
    act_on_signals();
    if (second_code >= 0) return true;
    take_keys();
    quit_if_signalled();
    return escape_queued || queue_count > 0;
}

int read_key() {
    if (second_code >= 0) {
        int code = second_code;
        second_code = -1;
        return code;
    }
    if (!key_waiting()) return 0;
    if (escape_queued) {
        escape_queued = false;
        return escape_key;
    }
    int key = queued[queue_head];
    queue_head = (queue_head + 1) % queue_size;
    --queue_count;
    if (key < arrow_key) return key;
    second_code = key - arrow_key;
    return arrow_prefix;
}

// ---- time and chance -----------------------------------------------------------------------

std::int64_t clock_ms() {
    return monotonic_ms() - process_start_ms - stopped_ms;
}

void sleep_ms(int ms) {
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) act_on_signals();
    act_on_signals();
}

void seed_random() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int random_number() {
    return std::rand() % 32768;
}

// A terminal window outlives the game.
void console_farewell() {}
