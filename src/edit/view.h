// The map editor's screen, built into a 40 x 80 buffer of its own: pure code, as the game's
// buffer is, drawn with draw_buffer so that only the cells that changed are sent.
#pragma once

#include "check/check.h"
#include "console/buffer.h"
#include "edit/editor.h"

// Where the text right of the board starts, and how wide it is.
constexpr int side_col = board_size + 2;
constexpr int side_cols = screen_cols - side_col;

// The board as the game's first frame shows it (walls shaded, the player's `*` on (1, 1) and
// the mobs' `A` on their starting cells), right of it the map's name, the cursor's cell, the
// dots, the checker's `verdict`, mirror mode and the keys, and the message in the panel.
void build_editor_screen(const Editor& e, const BoardVerdict& verdict, Screen& screen);
