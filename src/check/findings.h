// The map checker's parts, shared by its three files only: the findings as plain data, the
// look at the file's text (text.cpp), the look at the board as read
// (board.cpp), and the one place that words them (check.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "game/state.h"

struct Cell {
    int x, y;
};

// Each kind is worded in one place, check.cpp; the fields a kind uses are named there.
enum class Kind {
    // The file's text, placed by its lines and columns, counting from 1 as an editor does.
    byte_order_mark,
    cr_line_ends,
    junk,
    first_line_spaces,
    empty_line,
    line_length,
    lengths_alike,
    stray_character,
    ctrl_z,
    past_the_board,
    short_file,
    empty_file,
    // The board as read, placed by its cells (x, y), counting from 0 as the game does.
    start_is_wall,
    dot_on_start,
    lost_dots,
    open_border,
    mob_on_wall,
    round_crosses_walls,
    no_dots,
};

// A place in the file: its line and column, counting from 1 as an editor does.
struct LineColumn {
    long line, column;
};

struct Finding {
    Kind kind;
    long line = 0, column = 0; // where in the file; 0 when the finding is not about one place
    long count = 0;            // how many (spaces, bytes, lines, dots) it is about
    long of = 0;               // out of how many, for a summary (of the first line's spaces:
                               // every line is padded alike, out of this many)
    long cells = 0;            // a line's length in cells
    long trailing = 0;         // of them, spaces and tabs at the end of the line
    bool spaces = false, tabs = false, crs = false; // what the trailing ones are
    long lone_crs = 0;                // of a line too long: CRs inside it, the first at `column`
    bool at_end = false;              // nothing of the file after this line reaches the board
    bool runs_on = false;             // of a last line, cells past the 32nd land on the row below
    std::string character{};          // a character as the file holds it
    std::vector<long> lines{};        // the lines a summary is about
    std::vector<LineColumn> places{}; // the first few places a summary is about
    std::vector<Cell> cells_at{};     // the board's cells it is about
    Cell low{}, high{};               // a box on the board
};

bool is_error(Kind kind);

// Reads the file, positioned at its start, through the reader's text mode and adds what is
// wrong with its text. Leaves the file open.
void check_text(std::FILE* file, std::vector<Finding>& findings);

// What is wrong with the board the game read.
using Grid = unsigned char[map_rows][board_size];
void check_board(const Grid& mapa, std::vector<Finding>& findings);
