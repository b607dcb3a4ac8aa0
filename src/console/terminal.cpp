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
#include <sys/ioctl.h>
#include <term.h>
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

// ---- clock ---------------------------------------------------------------------------------

std::int64_t monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const std::int64_t process_start_ms = monotonic_ms();

// ---- leaving -------------------------------------------------------------------------------

void on_quit_signal(int sig) {
    quit_signal = sig;
}

// Signals only set a flag; the game notices it at its next sleep or key test (within one
// pass), gives the terminal back, and then dies of the signal as it would have.
void quit_if_signalled() {
    int sig = quit_signal;
    if (sig == 0) return;
    console_close();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}

void catch_quit_signals() {
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep must wake up and notice the flag
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &action, nullptr);
}

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
        if (ch == ERR) return;
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

    // Ours before curses starts, so curses leaves them alone; it keeps its own for suspend
    // and resize.
    catch_quit_signals();
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
    quit_if_signalled();
    if (second_code >= 0) return true;
    take_keys();
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
    return monotonic_ms() - process_start_ms;
}

void sleep_ms(int ms) {
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) quit_if_signalled();
    quit_if_signalled();
}

void seed_random() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int random_number() {
    return std::rand() % 32768;
}
