// dotmaze --edit MAP: a map editor in the terminal, the checker's verdict live beside the
// board, and a key that plays the board being drawn.
#pragma once

#include <string>

#include "edit/editor.h"

// The editor on the map file `name` (a new board when there is none), until the author
// leaves. `g` holds the games played with `p`. Returns the exit status: 0 when the author
// leaves, 1 when the map is refused or the terminal cannot be had (the reason on stderr).
int edit_map(Game& g, const char* name);

// Reads the map file `name` into `e`, as the game's own reader reads it; a name with nothing
// there gives a new board. False, with the reason on stderr, when the file is refused. `quirks`
// is set when the file's bytes are not what a save would write.
bool open_map_file(Editor& e, const char* name, bool& quirks);
// Writes the board to the file: on success the file holds the board, else `why` says why
// and nothing is left behind.
bool save_map(Editor& e, std::string& why);
// Where the unsaved changes go when a quit signal ends the editor: "MAP.save", or the first of
// "MAP.save.1", "MAP.save.2", ... that is not there. Never MAP itself. Empty when all are taken.
std::string rescue_name(const std::string& name);
