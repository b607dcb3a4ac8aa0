// The map editor's state and its edits: one plain struct, and pure functions over it, so that
// a table of keys in gives the board and the cursor out. Nothing here touches the machine;
// edit.cpp reads and writes the file, takes the terminal and plays the board.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "game/state.h"

using Cells = unsigned char[board_size][board_size];

// One change to the board: a cell, or a cell and its mirror, each with what it held before
// and what it holds after. Undone and redone as one.
struct CellChange {
    int x, y;
    unsigned char before, after;
};
struct Change {
    CellChange cells[2];
    int count = 0;
};

struct Editor {
    Cells cells;  // 'X', '.' or ' ', rows first: cells[y][x]
    Cells saved;  // the board the file holds: as opened, or as last saved
    bool on_disk; // the file is there (or was written by a save)
    int x = start_x, y = start_y;
    int dx = 1, dy = 0; // the last arrow pressed; right before any
    bool mirror = false;
    // The changes made, oldest first: the first `done` are on the board, the rest were undone
    // and wait for a redo. A new change drops those.
    std::vector<Change> changes;
    std::size_t done = 0;
    bool asking = false; // the question before leaving is up
    std::string name;    // the file, as the command line named it
    std::string message; // the one line under the board
};

// What the editor's loop must do after a key.
enum class Action { none, save, play, leave, save_and_leave };

// Sets `e` up on `board` (rows 0 to 31 as the game's reader left them: any byte but 'X' and
// '.' is open floor, as the game takes it), named `name`. `on_disk`: the file is there.
void open_editor(Editor& e, const Board& board, const char* name, bool on_disk);
// The board a new map starts from: walls all round, open floor inside.
Board new_board();

// The board differs from the one the file holds.
bool is_changed(const Editor& e);
// The cell under the cursor's mirror: x <-> 31 - x, the same row.
constexpr int mirrored(int x) {
    return board_size - 1 - x;
}

// One key code as read_key gives it (an arrow's prefix, then its code). Edits, moves, undoes
// and redoes are done here; saving, playing and leaving are handed back to the caller.
Action edit_key(Editor& e, int key);
// After a save that worked: the file now holds the board.
void mark_saved(Editor& e);

// What a save writes: 32 lines of 32 bytes, 'X', '.' or a space, each ending in a line feed.
std::string save_text(const Cells& cells);
// The board as a game plays it.
Board board_of(const Cells& cells);
