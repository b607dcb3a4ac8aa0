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

int pending[2]; // an arrow key's two codes, handed out one per read
int pending_count = 0, pending_next = 0;

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

void queue_keys(int first, int second) {
    pending[0] = first;
    pending[1] = second;
    pending_count = second < 0 ? 1 : 2;
    pending_next = 0;
}

// An escape byte that curses could not match to a key: the rest of a sequence (or an Alt
// chord) follows at once, a lone Escape does not. Sequences are swallowed whole so that
// nothing but a real Escape key ever quits. An arrow key's own sequence can arrive here too:
// the terminal sends ESC [ A or ESC O A by its keypad mode, and curses switches that mode back
// on only at its first read after a start or a resume. Returns the game's code for an arrow,
// 27 for a lone Escape and 0 for anything else.
int after_escape() {
    int next = getch();
    if (next == ERR) return 27;
    if (next != '[' && next != 'O') return 0;
    int c, parameters = 0;
    while ((c = getch()) != ERR && c >= 0x20 && c <= 0x3F) ++parameters;
    if (parameters > 0) return 0;
    switch (c) {
    case 'A':
        return 0x48;
    case 'B':
        return 0x50;
    case 'C':
        return 0x4D;
    case 'D':
        return 0x4B;
    default:
        return 0;
    }
}

// Turns one curses key into the game's codes; false when it gives none.
bool translate_key(int ch) {
    switch (ch) {
    case KEY_UP:
        queue_keys(arrow_prefix, 0x48);
        return true;
    case KEY_DOWN:
        queue_keys(arrow_prefix, 0x50);
        return true;
    case KEY_LEFT:
        queue_keys(arrow_prefix, 0x4B);
        return true;
    case KEY_RIGHT:
        queue_keys(arrow_prefix, 0x4D);
        return true;
    case KEY_RESIZE:
        repaint_all();
        return false;
    case 27: {
        int code = after_escape();
        if (code == 0) return false;
        if (code == 27)
            queue_keys(27, -1);
        else
            queue_keys(arrow_prefix, code);
        return true;
    }
    default:
        if (ch < 0 || ch > 0xFF) return false; // function keys and the like do nothing
        queue_keys(ch, -1);
        return true;
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
    pending_count = pending_next = 0;
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
    if (pending_next < pending_count) return true;
    for (int ch; (ch = getch()) != ERR;)
        if (translate_key(ch)) return true;
    return false;
}

int read_key() {
    if (pending_next >= pending_count && !key_waiting()) return 0;
    return pending[pending_next++];
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
