// Reads the board from the map file.
#pragma once

#include <cstdio>

#include "game/state.h"

constexpr const char* map_file_name = "mapa.txt";
constexpr long max_map_bytes = 1L << 20; // a map is about 1 KiB; anything this big is not one

// Opens `name` for reading, refusing anything that is not a regular file of at most
// max_map_bytes. On failure returns nullptr and writes the reason into `why`.
std::FILE* open_map(const char* name, char* why, int why_size);

// Copies the file into `mapa` by the map format's rules and closes it. `mapa` must be zeroed
// beforehand; cells the file does not reach keep their value.
void read_map(unsigned char (&mapa)[map_rows][board_size], std::FILE* file);
