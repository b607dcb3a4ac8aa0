// The one seam between the game and the machine.
//
// Every service the game takes from the terminal, the keyboard, the clock, sleeping and the
// random generator is one of these free functions. The game links the implementation in
// unix/ or windows/; the tests link a fake console that records every frame and runs on a
// virtual clock, with the real file services. A port rewrites those folders and nothing else.
#pragma once

#include <cstdint>
#include <cstdio>

// ---- the seam's numbers ----------------------------------------------------------------------
//
// Both implementations and the rules hold to these; they are named here and nowhere else.

// The screen buffer the rules draw into: 40 rows of 80 single-byte cells, row after row.
constexpr int screen_rows = 40;
constexpr int screen_cols = 80;
// What draw_buffer shows of it: every cell but the very last.
constexpr int drawn_cells = screen_rows * screen_cols - 1;
// The row park_cursor puts the print position on, just below the buffer.
constexpr int words_row = screen_rows;
// The least terminal the game plays in: the buffer, and the row for the words under it.
constexpr int needed_cols = screen_cols;
constexpr int needed_rows = screen_rows + 1;
// The light-shade block of the old PC character set (code page 437): walls and the panel.
constexpr unsigned char shade = 176;
// The multiplication sign of Latin-1, as in "×4": only a replay viewer's status line holds it,
// never the rules' buffer. A terminal that cannot show it shows 'x'.
constexpr unsigned char times_sign = 215;
// Key codes as read_key gives them.
constexpr int key_escape = 27;
constexpr int key_arrow_prefix = 0xE0; // then one of the four below
constexpr int key_up = 0x48, key_down = 0x50, key_left = 0x4B, key_right = 0x4D;

// ---- opening and closing the console ------------------------------------------------------

// Takes over the terminal. On failure (not a terminal, too small, no terminfo entry) it
// leaves the terminal as it was, writes the reason into `why` and returns false.
bool console_open(char* why, int why_size);
// Gives the terminal back exactly as console_open found it. Safe to call more than once.
void console_close();
// True when closing brings back a screen of the terminal's own in place of the game's, so
// that the game's last words are no longer in sight and should be printed again.
bool console_close_restores_screen();
// Called once on the way out of the program, after any refusal or ending. Where closing the
// program also closes the window it ran in, this keeps the window, and the last words in it,
// until the player has read them.
void console_farewell();

// ---- output --------------------------------------------------------------------------------
//
// What the rules show. The game defines these itself, over the raw outputs below, as it does
// the inputs: passed through, or, while a replay plays, shown as the replay's run asks (with
// lines of its own over the game's, say, or on no terminal at all).

void hidecursor();
// Moves the print position to column 0, words_row, just below the playfield.
void park_cursor();
// Shows the first drawn_cells cells of the screen buffer at the top-left corner.
void draw_buffer(const unsigned char* kursor);
// Blanks the screen and moves the print position to the top-left corner.
void clear_screen();
// Writes `text` at the print position; it shows at once.
void print_text(const char* text);
void ring_bell();

// ---- raw output ----------------------------------------------------------------------------
//
// The same services on the machine's terminal, defined by each implementation of the seam.

void raw_hidecursor();
void raw_park_cursor();
void raw_draw_buffer(const unsigned char* kursor);
void raw_clear_screen();
void raw_print_text(const char* text);
void raw_ring_bell();

// ---- inputs -------------------------------------------------------------------------------
//
// What the rules take from the machine. The game defines these itself, over the raw inputs
// below: passed through as they come, kept for a replay, or taken from one.

// A key test ends one frame of the game and begins the next: a recording keeps the inputs
// frame by frame, and a replay checks the screen there. While a replay plays, any of these
// may throw (ReplayFault, ReplayStopped, see inputs.h) through the rules, which hold nothing
// that needs undoing; the run catches it.

// Never blocks: true when read_key has a code to give.
bool key_waiting();
// One key code, 0-255. An arrow key gives key_arrow_prefix and then key_up, key_down,
// key_left or key_right. Keys come in the order typed, except a lone Escape: it comes next,
// whatever was typed or pasted before it, and only the Escape key gives it. Keys past the
// first few thousand waiting may be lost.
int read_key();
// Milliseconds since the process started, less any time it spent stopped (Ctrl-Z) or waiting
// in the background to be brought back, from a clock that never goes back.
std::int64_t clock_ms();
void sleep_ms(int ms);
// Seeds the generator from the current time in seconds.
void seed_random();
// 0 to 32767.
int random_number();

// ---- raw inputs ----------------------------------------------------------------------------
//
// The same services as the machine gives them, defined by each implementation of the seam.

bool raw_key_waiting();
int raw_read_key();
std::int64_t raw_clock_ms();
void raw_sleep_ms(int ms);
void raw_seed_random();
int raw_random_number();

// ---- the map editor's services ------------------------------------------------------------
//
// The editor (--edit) answers each key as it comes, not on the game's beat, and shows the
// author the cell being edited.

// Shows the terminal's cursor on the buffer's cell (row, col), at the latest with the next
// draw_buffer, and keeps it there through every draw until hidecursor hides it again.
void show_cursor_at(int row, int col);
// Waits until read_key has a key to give or `ms` milliseconds have passed, whichever comes
// first, and acts on stops, quits and a lost terminal meanwhile as a key test does. True when a
// key is waiting. A resize or a resume ends the wait early, so that the caller draws again.
bool wait_for_key(int ms);

// ---- quitting ------------------------------------------------------------------------------

// Names a function for the seam to call when a quit signal (SIGINT, SIGTERM, SIGHUP, or the
// terminal gone) ends the game: in normal context, with the signal's number, after the
// terminal is given back and before the process dies of the signal. nullptr for none.
void call_before_quitting(void (*last_words)(int sig));
// True when a quit signal has come that the game has yet to act on: a wait for something slow,
// such as a lock, gives up at once.
bool quit_pending();
// For the very end of the program, once its last files are written: a quit signal that came
// after the terminal was given back is acted on now, and the process dies of it as it would
// have, its standard streams flushed first. Returns when none came.
void quit_if_pending();

// ---- files ---------------------------------------------------------------------------------
//
// Names are as the command line or the environment gave them, in the system's own code page,
// or as state_folder gives them.
// Each failure writes a reason a player can read into `why` (at most `why_size` bytes).

// Opens `name` for reading in binary mode, refusing what is not a regular file (a directory,
// a FIFO, a device) and a file whose reported size is larger than `limit` bytes. Some files
// report a size of 0 whatever they hold: the caller still counts what it reads.
std::FILE* open_regular_file(const char* name, long limit, char* why, int why_size);
// True when `name` names anything at all (a file, a folder, a broken link).
bool path_exists(const char* name);
bool is_folder(const char* name);
// The current folder as the system spells it, or false when it cannot be told.
bool current_folder(char* path, int path_size);
// The folder that holds the running program, or false when it cannot be told.
bool program_folder(char* path, int path_size);

// The per-user folder for the game's own files: $XDG_STATE_HOME/dotmaze,
// ~/.local/state/dotmaze, or %LOCALAPPDATA%\dotmaze. With `make` it is created (mode 0700)
// when missing; without, only named, there or not, so that reading changes nothing. On Windows
// a folder the ANSI code page cannot spell is named "\\?\" and then in UTF-8, a form the file
// services here take as well.
bool state_folder(char* path, int path_size, bool make, char* why, int why_size);
// What lock_file gives when someone else holds the lock.
constexpr int lock_busy = -2;
// Holds an exclusive lock on the lock file `path` (created mode 0600 when missing) that
// outlives any file renamed beside it, waiting for it at most `wait_ms` milliseconds, and no
// longer once a quit is pending. Returns a handle for unlock_file; lock_busy when another held
// it all that time; or -1, with why.
int lock_file(const char* path, int wait_ms, char* why, int why_size);
void unlock_file(int handle);
// Gives `path` the `size` bytes of `bytes` as its whole content, so that a crash leaves the
// old file or the new one, never a mix: a new file beside it (never through a link planted
// there), flushed to disk, then renamed over the old one. A symbolic link at `path` is
// followed, so that the file it names is replaced and the link stays; a link to nothing is
// refused, as is a FIFO, a device or a folder in the file's place. The file keeps its
// permission bits; one not there yet gets `new_mode` less the umask (0600: the player's
// alone; 0666: as any file the player makes). What a replacement cut short leaves beside the
// file (a crash, a SIGKILL: "FILE.new-..."), another process's and older than a minute, goes.
// A quit signal that comes meanwhile is acted on once the file is in place or given up.
bool replace_file(const char* path, const char* bytes, long size, int new_mode, char* why,
                  int why_size);
// False, with why, when replace_file would refuse `path` or could not make its new file beside
// it (a folder the player cannot write to); tried by making that file and removing it again.
bool can_replace_file(const char* path, char* why, int why_size);
