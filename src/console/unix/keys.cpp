// The Unix console's keyboard: curses' keys turned into the codes the game reads, queued in
// the order typed, except that a lone Escape goes ahead of them all.
#include "console/platform.h"
#include "console/unix/port.h"

#define NCURSES_WIDECHAR 1
#include <cerrno>
#include <cstdint>
#include <curses.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace unix_tty;

namespace {

// Keys read from curses and not yet handed to the game, in the order typed: a byte each, or
// an arrow as arrow_key plus its second code. As large as the kernel's own input buffer;
// keys past its room are dropped, as a full terminal buffer would drop them.
constexpr int arrow_key = 0x100;
constexpr int queue_size = 4096;
unsigned short queued[queue_size];
int queue_head = 0, queue_count = 0;
bool escape_queued = false; // a lone Escape was among the keys read: it is handed over next
int second_code = -1;       // an arrow's second code, owed to the next read

// End-of-file or a hang-up on the keyboard: the terminal is gone, though no SIGHUP came (it
// was not the controlling terminal, say). curses reports it as no key; the terminal says which.
bool keyboard_gone() {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, 0) != 1) return false;
    if ((in.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    int waiting = 0;
    return ioctl(STDIN_FILENO, FIONREAD, &waiting) != 0 || waiting == 0;
}

// An escape byte that curses could not match to a key: the rest of a sequence (or an Alt
// chord) follows at once, a lone Escape does not. Sequences and Alt chords are swallowed whole
// so that nothing but a real Escape key ever quits; but another Escape, or a key curses has
// already decoded (an arrow, a resize), is a key of its own: it is pushed back, and the first
// Escape counts. An arrow key's own sequence can arrive here too: the terminal sends ESC [ A or
// ESC O A by its keypad mode, and curses switches that mode back on only at its first read
// after a start or a resume. Returns the key to queue, or -1 for none.
int after_escape() {
    int next = getch();
    if (next == ERR) return key_escape;
    if (next == key_escape || next > 0xFF) {
        ungetch(next);
        return key_escape;
    }
    if (next != '[' && next != 'O') return -1;
    int c, parameters = 0;
    while ((c = getch()) != ERR && c >= 0x20 && c <= 0x3F) ++parameters;
    if (parameters > 0) return -1;
    switch (c) {
    case 'A':
        return arrow_key + key_up;
    case 'B':
        return arrow_key + key_down;
    case 'C':
        return arrow_key + key_right;
    case 'D':
        return arrow_key + key_left;
    default:
        return -1;
    }
}

// Turns one curses key into the key to queue, or -1 when it gives the game none.
int translate_key(int ch) {
    switch (ch) {
    case KEY_UP:
        return arrow_key + key_up;
    case KEY_DOWN:
        return arrow_key + key_down;
    case KEY_LEFT:
        return arrow_key + key_left;
    case KEY_RIGHT:
        return arrow_key + key_right;
    case KEY_RESIZE:
        repaint_all();
        return -1;
    case key_escape:
        return after_escape();
    default:
        return ch >= 0 && ch <= 0xFF ? ch : -1; // function keys and the like do nothing
    }
}

// Moves all the keyboard has sent into the queue. Reading goes on past a full queue, for an
// Escape typed after a long paste must still quit at once; and a terminal that cannot write
// to the game stops sending, so a game that stopped reading would never see that Escape. A
// lone Escape ends the game, so reading stops there: nothing after it matters.
void take_keys() {
    while (!escape_queued) {
        int ch = getch();
        if (ch == ERR) {
            if (keyboard_gone()) hang_up();
            return;
        }
        int key = translate_key(ch);
        if (key == key_escape)
            escape_queued = true;
        else if (key >= 0 && queue_count < queue_size)
            queued[(queue_head + queue_count++) % queue_size] = static_cast<unsigned short>(key);
    }
}

} // namespace

void unix_tty::forget_keys() {
    queue_head = queue_count = 0;
    escape_queued = false;
    second_code = -1;
}

bool raw_key_waiting() {
    act_on_signals();
    if (second_code >= 0) return true;
    take_keys();
    quit_if_signalled();
    return escape_queued || queue_count > 0;
}

int raw_read_key() {
    if (second_code >= 0) {
        int code = second_code;
        second_code = -1;
        return code;
    }
    if (!raw_key_waiting()) return 0;
    if (escape_queued) {
        escape_queued = false;
        return key_escape;
    }
    int key = queued[queue_head];
    queue_head = (queue_head + 1) % queue_size;
    --queue_count;
    if (key < arrow_key) return key;
    second_code = key - arrow_key;
    return key_arrow_prefix;
}

bool wait_for_key(int ms) {
    const std::int64_t until = raw_clock_ms() + ms;
    for (;;) {
        if (raw_key_waiting()) return true;
        std::int64_t left = until - raw_clock_ms();
        if (left <= 0) return false;
        // Bytes that make no key (half a sequence, a function key) only wait again.
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, static_cast<int>(left)) < 0 && errno == EINTR) {
            // A signal: a quit or a stop is acted on here, a resize is read as its key.
            act_on_signals();
            return raw_key_waiting();
        }
    }
}
