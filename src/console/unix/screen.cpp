// The platform seam on a Unix terminal, through ncursesw: taking the terminal and drawing.
//
// Kept thin on purpose: curses does the terminfo lookups, decodes the keys and sends only the
// cells that changed; these files map the game's few services onto it and make sure that
// every way out of the process gives the terminal back as it was found.
#include "console/platform.h"
#include "console/unix/port.h"

#define NCURSES_WIDECHAR 1
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#undef clear_screen // term.h's name for a capability; here, the seam's function

namespace unix_tty {

bool in_curses = false;

} // namespace unix_tty

using namespace unix_tty;

namespace {

constexpr int escape_delay_ms = 25; // curses' default of a second would make Escape sluggish

SCREEN* terminal = nullptr;
bool utf8 = false;
bool own_screen = false; // the terminal keeps a screen of its own under the game's

unsigned char shown[drawn_cells]; // what the terminal was last sent, to send only changes
bool shown_valid = false;

int print_row = 0, print_col = 0;

// The editor's cursor: shown on this cell, and put back there after every draw.
bool cursor_shown = false;
int cursor_row = 0, cursor_col = 0;

void place_cursor() {
    if (cursor_row < getmaxy(stdscr) && cursor_col < getmaxx(stdscr)) move(cursor_row, cursor_col);
}

// ---- drawing -------------------------------------------------------------------------------

void put_wide(int row, int col, wchar_t c) {
    cchar_t cell{};
    const wchar_t text[] = {c, L'\0'};
    setcchar(&cell, text, A_NORMAL, 0, nullptr);
    mvadd_wch(row, col, &cell);
}

void put_cell(int row, int col, unsigned char c) {
    if (c == shade) {
        if (utf8)
            put_wide(row, col, L'\u2591');
        else
            mvaddch(row, col, ACS_CKBOARD);
        return;
    }
    if (c == times_sign) {
        if (utf8)
            put_wide(row, col, L'\u00d7');
        else
            mvaddch(row, col, 'x');
        return;
    }
    // Anything unprintable would spread over several cells and break the rows' alignment.
    mvaddch(row, col, c >= 0x20 && c < 0x7F ? c : '?');
}

// Short enough for the very terminal it refuses: a refused one has one side of two digits, so
// that with the program's name before it the line never passes 79 columns.
bool too_small(int cols, int rows, char* why, int why_size) {
    if (cols >= needed_cols && rows >= needed_rows) return false;
    std::snprintf(why, why_size,
                  "terminal needs at least %d columns by %d rows; this one is %d by %d",
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

void unix_tty::repaint_all() {
    shown_valid = false;
    clearok(curscr, TRUE);
}

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
    forget_keys();
    return true;
}

void console_close() {
    if (!in_curses) return;
    in_curses = false;
    curs_set(1);
    endwin();
    std::fflush(stdout);
    let_stops_through();
}

bool console_close_restores_screen() {
    return own_screen;
}

// A terminal window outlives the game.
void console_farewell() {}

// ---- output --------------------------------------------------------------------------------

void raw_hidecursor() {
    cursor_shown = false;
    leaveok(stdscr, TRUE);
    curs_set(0);
}

void show_cursor_at(int row, int col) {
    cursor_shown = true;
    cursor_row = row;
    cursor_col = col;
    leaveok(stdscr, FALSE); // curses leaves the terminal's cursor where stdscr's is
    curs_set(1);
    place_cursor(); // sent with the next draw
}

void raw_park_cursor() {
    print_row = words_row;
    print_col = 0;
}

void raw_draw_buffer(const unsigned char* kursor) {
    int rows = getmaxy(stdscr), cols = getmaxx(stdscr);
    for (int i = 0; i < drawn_cells; ++i) {
        if (shown_valid && shown[i] == kursor[i]) continue;
        shown[i] = kursor[i];
        int row = i / screen_cols, col = i % screen_cols;
        if (row < rows && col < cols) put_cell(row, col, kursor[i]);
    }
    shown_valid = true;
    if (cursor_shown) place_cursor();
    refresh();
}

void raw_clear_screen() {
    clear();
    refresh();
    shown_valid = false;
    print_row = print_col = 0;
}

void raw_print_text(const char* text) {
    mvaddstr(print_row, print_col, text);
    getyx(stdscr, print_row, print_col);
    refresh();
}

void raw_ring_bell() {
    beep();
}
