#include "edit/view.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int name_row = 0, cell_row = 2, dots_row = 3, mirror_row = 4, verdict_row = 6;
constexpr int keys_row = 25;
constexpr int lines_per_finding = 4; // a longer one is cut, and ends in "..."
// The message, inside the panel's shaded frame.
constexpr int message_top = 35, message_rows = 3, message_col = 4, message_cols = 64;

// Writes `text` from (row, col), at most `width` cells; a byte outside printable ASCII shows
// as '?', so that every byte takes one cell.
void put(Screen& s, int row, int col, const std::string& text, int width) {
    for (int i = 0; i < width && i < static_cast<int>(text.size()) && col + i < screen_cols; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        s[row][col + i] = c >= 0x20 && c < 0x7F ? c : '?';
    }
}

// `text` in lines of at most `width`, broken at spaces where it can be.
std::vector<std::string> wrap(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t left = text.size() - at;
        std::size_t take = left <= static_cast<std::size_t>(width) ? left : width;
        if (take < left) {
            std::size_t space = text.rfind(' ', at + take);
            if (space != std::string::npos && space > at) take = space - at;
        }
        lines.push_back(text.substr(at, take));
        at += take;
        while (at < text.size() && text[at] == ' ') ++at;
    }
    return lines;
}

const char* mob_named_at(int x, int y) {
    if (x == mob1_start_x && y == mob1_start_y) return "the patroller's start";
    if (x == mob2_start_x && y == mob2_start_y) return "the wanderer's start";
    if (x == mob3_start_x && y == mob3_start_y) return "the chaser's start";
    return nullptr;
}

std::string cell_words(const Editor& e) {
    unsigned char c = e.cells[e.y][e.x];
    std::string words = "(";
    words += std::to_string(e.x) + ", " + std::to_string(e.y) + ") ";
    words += c == wall ? "wall" : c == dot ? "dot" : "open floor";
    if (e.x == start_x && e.y == start_y) words += ", the player's start";
    if (const char* mob = mob_named_at(e.x, e.y)) words += std::string(", ") + mob;
    return words;
}

std::string count_of(long n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

void put_verdict(Screen& s, const BoardVerdict& v) {
    std::string summary =
        v.errors == 0 && v.warnings == 0
            ? "no errors, no warnings"
            : (v.errors == 0 ? "no errors" : count_of(v.errors, "error")) + ", " +
                  (v.warnings == 0 ? "no warnings" : count_of(v.warnings, "warning"));
    put(s, verdict_row, side_col, summary, side_cols);
    int row = verdict_row + 1;
    for (const std::string& finding : v.findings) {
        std::vector<std::string> lines = wrap(finding, side_cols);
        if (static_cast<int>(lines.size()) > lines_per_finding) {
            lines.resize(lines_per_finding);
            std::string& last = lines.back();
            last = last.substr(0, side_cols - 3) + "...";
        }
        if (row + static_cast<int>(lines.size()) > keys_row - 1) {
            put(s, row < keys_row - 1 ? row : keys_row - 2, side_col, "and more", side_cols);
            break;
        }
        for (const std::string& line : lines) put(s, row++, side_col, line, side_cols);
    }
}

void put_keys(Screen& s) {
    static const char* const keys[] = {
        "arrows or H P K M  move the cursor",
        "x  wall    .  dot    space  open floor",
        "m  mirror  u  undo   r  redo",
        "s  save    p  play   q or Escape  leave",
    };
    int row = keys_row;
    for (const char* line : keys) put(s, row++, side_col, line, side_cols);
}

void put_board(const Editor& e, Screen& s) {
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) {
            unsigned char c = e.cells[y][x];
            s[y][x] = c == wall ? shade : c == dot ? dot : space;
        }
    s[start_y][start_x] = player_glyph;
    s[mob1_start_y][mob1_start_x] = mob_glyph;
    s[mob2_start_y][mob2_start_x] = mob_glyph;
    s[mob3_start_y][mob3_start_x] = mob_glyph;
}

void put_message(const Editor& e, Screen& s) {
    for (int row = message_top - 1; row <= message_top + message_rows; ++row)
        for (int col = message_col - 1; col <= message_col + message_cols; ++col)
            s[row][col] = space;
    std::vector<std::string> lines = wrap(e.message, message_cols);
    for (int i = 0; i < message_rows && i < static_cast<int>(lines.size()); ++i)
        put(s, message_top + i, message_col, lines[i], message_cols);
}

} // namespace

void build_editor_screen(const Editor& e, const BoardVerdict& verdict, Screen& screen) {
    clear_screen_buffer(screen);
    put_board(e, screen);
    // The name cut from the left where it is long, so that its end and the state show.
    std::string state = is_changed(e) ? " (changed)" : !e.on_disk ? " (new file)" : "";
    std::string name = e.name;
    std::size_t room = side_cols - state.size();
    if (name.size() > room) name = name.replace(0, name.size() - (room - 3), "...");
    put(screen, name_row, side_col, name + state, side_cols);
    put(screen, cell_row, side_col, cell_words(e), side_cols);
    long dots = 0;
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) dots += e.cells[y][x] == dot;
    put(screen, dots_row, side_col, count_of(dots, "dot"), side_cols);
    if (e.mirror) put(screen, mirror_row, side_col, "mirror: x and 31 - x alike", side_cols);
    put_verdict(screen, verdict);
    put_keys(screen);
    put_message(e, screen);
}
