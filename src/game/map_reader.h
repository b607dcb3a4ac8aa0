// Reads the board from the map file.
#pragma once

#include <cstdio>
#include <string>

#include "game/state.h"

constexpr const char* map_file_name = "mapa.txt";
constexpr long max_map_bytes = 1L << 20; // a map is about 1 KiB; anything this big is not one

// Reads `file` to its end, or to one byte past `limit`, appending what it reads to `text` when
// given one. The size a file reports may be 0 whatever it holds (/proc/self/pagemap holds
// gigabytes), so the limit holds on what comes. Returns the bytes read, more than `limit` when
// the file holds more, or -1 on a read error.
long read_to_limit(std::FILE* file, long limit, std::string* text);

// Opens `name` for reading, refusing anything that is not a regular file of at most
// max_map_bytes, by its reported size and by the bytes read: the whole file is read through
// once before it is handed back, at its start. On failure returns nullptr and writes the
// reason into `why`.
std::FILE* open_map(const char* name, char* why, int why_size);

// Map files come from a system whose text mode hides the CR of a CR LF and ends the file at
// the first Ctrl-Z. The reader and the map checker both read through this, so that they see
// the same lines.
struct TextFile {
    std::FILE* file;
    bool ended = false;
    bool at_ctrl_z = false; // ended by a Ctrl-Z byte: the rest of the file is still unread
};
// The next byte as text mode delivers it, or EOF.
int text_getc(TextFile& in);

// Copies the file into `mapa` by the map format's rules and closes it. `mapa` must be zeroed
// beforehand; cells the file does not reach keep their value.
void read_map(unsigned char (&mapa)[map_rows][board_size], std::FILE* file);
