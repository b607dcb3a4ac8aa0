// The map checker for map authors: the board as the game will read it, and what is wrong with
// the file or the board.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "game/state.h"

// Reads the already-opened map `file` (as open_map returned it; this closes it), prints the
// board as the game reads it, its dot count and the findings to `out`, one finding per line
// starting "error:" or "warning:". `name` is how the findings name the file.
// `quiet` leaves out the board and its dot count. Returns the exit status: 1 when there is an
// error, else 0.
int check_map(std::FILE* file, const char* name, std::FILE* out, bool quiet = false);
// Checks each map named (none: "mapa.txt" in the current directory) onto standard output,
// one after the other; a map that cannot be opened is reported on stderr. Returns 1 when any
// map could not be opened or has an error, else 0.
int check_maps(const std::vector<const char*>& map_names, bool quiet);

// The checker's verdict on a board given as its cells ('X', '.', anything else open floor),
// as the map editor holds it. A save writes such a board as clean text, so only the board's
// findings apply. Each finding is worded as check_map words it, "error: " or "warning: " and
// the words, without a file's name.
struct BoardVerdict {
    long errors = 0, warnings = 0;
    std::vector<std::string> findings;
};
BoardVerdict check_cells(const unsigned char (&cells)[board_size][board_size]);
