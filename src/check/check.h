// The map checker for map authors: the board as the game will read it, and what is wrong with
// the file or the board.
#pragma once

#include <cstdio>
#include <vector>

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
