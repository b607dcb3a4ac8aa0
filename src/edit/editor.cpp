#include "edit/editor.h"

#include <cstring>

#include "console/platform.h"

namespace {

void step(Editor& e, int dx, int dy) {
    int x = e.x + dx, y = e.y + dy;
    if (on_board(x, y)) {
        e.x = x;
        e.y = y;
    }
}

void move(Editor& e, int dx, int dy) {
    e.dx = dx;
    e.dy = dy;
    step(e, dx, dy);
}

// `c` under the cursor, and at its mirror in mirror mode; then one step on the way of the last
// arrow. Cells that already hold `c` are left out of the change: one that changes nothing is
// not kept, so that an undo always takes something back.
void draw(Editor& e, unsigned char c) {
    Change change;
    auto put = [&](int x, int y) {
        if (e.cells[y][x] == c) return;
        change.cells[change.count++] = {x, y, e.cells[y][x], c};
        e.cells[y][x] = c;
    };
    put(e.x, e.y);
    if (e.mirror) put(mirrored(e.x), e.y);
    if (change.count > 0) {
        e.changes.resize(e.done);
        e.changes.push_back(change);
        e.done = e.changes.size();
    }
    step(e, e.dx, e.dy);
}

// The cursor goes to the cell the change was made at, so that the author sees what came back.
void put_back(Editor& e, const Change& change, bool undo) {
    for (int i = 0; i < change.count; ++i) {
        const CellChange& c = change.cells[i];
        e.cells[c.y][c.x] = undo ? c.before : c.after;
    }
    e.x = change.cells[0].x;
    e.y = change.cells[0].y;
}

void undo(Editor& e) {
    if (e.done == 0) {
        e.message = "nothing to undo: the board is as opened";
        return;
    }
    put_back(e, e.changes[--e.done], true);
}

void redo(Editor& e) {
    if (e.done == e.changes.size()) {
        e.message = "nothing to redo";
        return;
    }
    put_back(e, e.changes[e.done++], false);
}

Action answer(Editor& e, int key) {
    e.asking = false;
    if (key == 'y' || key == 'Y') return Action::save_and_leave;
    if (key == 'n' || key == 'N') return Action::leave;
    e.message = "still editing";
    return Action::none;
}

} // namespace

Board new_board() {
    Board board{};
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) {
            bool edge = x == 0 || y == 0 || x == board_size - 1 || y == board_size - 1;
            board.cells[y][x] = edge ? wall : space;
        }
    return board;
}

void open_editor(Editor& e, const Board& board, const char* name, bool on_disk) {
    e = Editor{};
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) {
            unsigned char c = board.cells[y][x];
            e.cells[y][x] = c == wall || c == dot ? c : space;
        }
    std::memcpy(e.saved, e.cells, sizeof e.saved);
    e.on_disk = on_disk;
    e.name = name;
}

bool is_changed(const Editor& e) {
    return std::memcmp(e.cells, e.saved, sizeof e.cells) != 0;
}

void mark_saved(Editor& e) {
    std::memcpy(e.saved, e.cells, sizeof e.saved);
    e.on_disk = true;
}

Action edit_key(Editor& e, int key) {
    e.message.clear();
    if (e.asking) return answer(e, key);
    switch (key) {
    case key_up:
        move(e, 0, -1);
        break;
    case key_down:
        move(e, 0, 1);
        break;
    case key_left:
        move(e, -1, 0);
        break;
    case key_right:
        move(e, 1, 0);
        break;
    case 'x':
    case 'X':
        draw(e, wall);
        break;
    case '.':
        draw(e, dot);
        break;
    case ' ':
        draw(e, space);
        break;
    case 'm':
        e.mirror = !e.mirror;
        e.message = e.mirror ? "mirror on: each change is made at (31 - x, y) too" : "mirror off";
        break;
    case 'u':
        undo(e);
        break;
    case 'r':
        redo(e);
        break;
    case 's':
        return Action::save;
    case 'p':
        return Action::play;
    case 'q':
    case key_escape:
        if (!is_changed(e)) return Action::leave;
        e.asking = true;
        e.message = "Save the changes to " + e.name +
                    "? y saves and leaves, n leaves without saving, any other key stays";
        break;
    default: // an arrow's prefix, and every other key
        break;
    }
    return Action::none;
}

std::string save_text(const Cells& cells) {
    std::string text;
    text.reserve(board_size * (board_size + 1));
    for (int y = 0; y < board_size; ++y) {
        text.append(reinterpret_cast<const char*>(cells[y]), board_size);
        text += '\n';
    }
    return text;
}

Board board_of(const Cells& cells) {
    Board board{};
    std::memcpy(board.cells, cells, sizeof(Cells));
    return board;
}
