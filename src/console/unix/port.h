// What the three parts of the Unix console share, and nothing outside this folder sees:
// screen.cpp takes the terminal over through curses and draws, keys.cpp reads the keyboard,
// system.cpp acts on stops and quits and keeps the clock that leaves stopped time out.
#pragma once

namespace unix_tty {

// ---- screen.cpp ----------------------------------------------------------------------------

extern bool in_curses; // the game's screen is on the terminal
// After a resize or a resume the terminal's picture can't be trusted: send everything again.
void repaint_all();

// ---- keys.cpp ------------------------------------------------------------------------------

void forget_keys();

// ---- system.cpp ----------------------------------------------------------------------------

// Notes the line settings found, then takes the quit and stop signals; before curses starts.
void catch_signals();
// What endwin would send to leave the game's screen, kept for a signal handler to send.
void save_leave_sequence();
// Acts on any quit or stop asked for since the last call: gives the terminal back and dies,
// or stops and on waking takes the terminal back.
void act_on_signals();
void quit_if_signalled();
// The keyboard is gone: quit as on a hang-up, unless another quit came first.
void hang_up();
// Once the terminal is given back: Ctrl-Z does what it does for any program again.
void let_stops_through();

// ---- files.cpp -----------------------------------------------------------------------------

// Writes `what` into `why` (at most `why_size` bytes) and returns false, for a failure's reason.
bool fail(char* why, int why_size, const char* what);
// The same with the reason for the error number `error`.
bool fail_errno(char* why, int why_size, int error);

} // namespace unix_tty
