// The screen buffer's layout: the board area, the status panel, its labels and readouts.
// Pure code over the buffer; nothing here talks to the terminal.
#pragma once

#include "game/state.h"

using Screen = unsigned char[screen_rows][screen_cols];

// Fills the buffer with the empty status panel: shading in rows 33-39, columns 2-69,
// spaces everywhere else.
void clear_screen_buffer(Screen& kursor);
void write_labels(Screen& kursor);
// "sss/mmm" in row 35, columns 3-9; only the last three digits of each number show.
void write_score_readout(Screen& kursor, int score, int max);
void write_lives_readout(Screen& kursor, int lives);
// The columns right of the board, row 0, that name the map and its place in a game of several.
constexpr int map_label_cols = screen_cols - (board_size + 1);
// Writes `label` there, cut to fit; a byte outside printable ASCII shows as '?', so that every
// byte takes one cell.
void write_map_label(Screen& kursor, const char* label);
