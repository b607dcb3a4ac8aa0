// What the parts of the Windows console share, and nothing outside this folder sees:
// screen.cpp takes the console over, draws and gives it back; keys.cpp reads the keyboard;
// system.cpp keeps the clock, answers the console's control events and sees the program out.
#pragma once

#include <windows.h>

#include <string>

namespace win_console {

// ---- keys.cpp ------------------------------------------------------------------------------

// The console's keyboard, opened by console_open and closed when the console is given back.
extern HANDLE console_in;
// Set when the player quit with Escape: then the player wants the window gone at once.
extern bool quit_by_escape;

// The keyboard is the console's whatever standard input is, as it is for conio's _getch.
HANDLE open_keyboard();
bool is_modifier_or_lock(WORD key);

// ---- system.cpp ----------------------------------------------------------------------------

// Has Ctrl-C, Ctrl-Break and the window's closing end the game as a quit signal does on Unix:
// the console given back, the game's last words said, the process ended; when the console is
// taken.
void catch_control_events();
// Acts on a control event that came since the last call: ends the process.
void act_on_control_events();
// Set when a control event asks the game to end: a wait (a sleep, for a key) waits on it too,
// then calls act_on_control_events.
extern HANDLE quit_wakes;

// ---- files.cpp -----------------------------------------------------------------------------

// Writes `what` into `why` (at most `why_size` bytes) and returns false, for a failure's reason.
bool fail(char* why, int why_size, const char* what);
// The same with the reason for the last failure, in the C library's words where the tests and
// the Unix build use them, else in the system's.
bool fail_last_error(char* why, int why_size);
// A name as the command line or the environment gave it, for the wide functions: in the ANSI
// code page, or in UTF-8 behind the "\\?\" that state_folder puts before a name that page
// cannot spell.
std::wstring wide(const char* name);

} // namespace win_console
