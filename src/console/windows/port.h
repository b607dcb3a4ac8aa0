// What the two parts of the Windows console share, and nothing outside this folder sees:
// screen.cpp takes the console over, draws and gives it back; keys.cpp reads the keyboard.
#pragma once

#include <windows.h>

namespace win_console {

// The console's keyboard, opened by console_open and closed when the console is given back.
extern HANDLE console_in;
// Set when the player quit with Escape: then the player wants the window gone at once.
extern bool quit_by_escape;

// The keyboard is the console's whatever standard input is, as it is for conio's _getch.
HANDLE open_keyboard();
bool is_modifier_or_lock(WORD key);

} // namespace win_console
