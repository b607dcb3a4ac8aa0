#include "game/map_check.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "game/map_reader.h"
#include "game/state.h"

// The checker reads the file twice: once byte by byte, for what the author wrote (line lengths,
// stray bytes, the first line's spaces), and once through the game's own reader, for the board
// the game will play. Findings about the file name its lines and columns as an editor counts
// them, from 1; findings about the board name its cells (x, y), from 0, as the game does.

namespace {

constexpr int cells_named = 5; // a finding about many cells names the first few and counts the rest

struct Finding {
    bool error;
    std::string where; // "line 5", "line 7, column 12", or empty for the board as a whole
    std::string text;
};

struct Report {
    unsigned char mapa[map_rows][board_size];
    int dots = 0;
    std::vector<Finding> findings;
};

// The parts, one after the other: strings, C strings and characters. (Built with += rather
// than +, which GCC 12 wrongly warns about when optimising.)
template <typename... Parts> std::string cat(const Parts&... parts) {
    std::string text;
    (text += ... += parts);
    return text;
}

std::string num(long n) {
    return std::to_string(n);
}

void warn(Report& r, std::string where, std::string text) {
    r.findings.push_back({false, std::move(where), std::move(text)});
}

void fail(Report& r, std::string text) {
    r.findings.push_back({true, "", std::move(text)});
}

std::string line_at(long line) {
    return cat("line ", num(line));
}

std::string line_at(long line, long column) {
    return cat(line_at(line), ", column ", num(column));
}

// "3 cells", "1 cell".
std::string count_of(long n, const char* thing) {
    return cat(num(n), " ", thing, n == 1 ? "" : "s");
}

struct Cell {
    int x, y;
};

// "(5, 7), (6, 7) and 4 more".
std::string cell_list(const std::vector<Cell>& cells) {
    std::string list;
    for (std::size_t i = 0; i < cells.size() && i < cells_named; ++i) {
        if (i > 0) list += ", ";
        list += cat("(", num(cells[i].x), ", ", num(cells[i].y), ")");
    }
    if (cells.size() > cells_named)
        list += cat(" and ", num(static_cast<long>(cells.size()) - cells_named), " more");
    return list;
}

std::string byte_name(unsigned char c) {
    char name[32];
    if (c == '\t')
        std::snprintf(name, sizeof name, "a tab");
    else if (c > ' ' && c < 0x7F)
        std::snprintf(name, sizeof name, "'%c'", c);
    else
        std::snprintf(name, sizeof name, "byte 0x%02X", c);
    return name;
}

// ---- the file's bytes ------------------------------------------------------------------------

// The file as the reader's text mode delivers it, split into lines without their line feeds.
struct Text {
    std::vector<std::string> lines;
    bool ctrl_z = false;
    long ctrl_z_line = 0, ctrl_z_column = 0;
    long after_ctrl_z = 0; // bytes the reader never sees
};

Text text_of(std::FILE* file) {
    Text text;
    TextFile in{file};
    std::string line;
    for (int c; (c = text_getc(in)) != EOF;) {
        if (c == '\n') {
            text.lines.push_back(std::move(line));
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (in.at_ctrl_z) {
        text.ctrl_z = true;
        text.ctrl_z_line = static_cast<long>(text.lines.size()) + 1;
        text.ctrl_z_column = static_cast<long>(line.size()) + 1;
        while (std::getc(file) != EOF) ++text.after_ctrl_z;
    }
    if (!line.empty()) text.lines.push_back(std::move(line));
    return text;
}

bool blank(const std::string& line) {
    return line.find_first_not_of(" \r") == std::string::npos;
}

void check_first_line(const Text& text, Report& r) {
    if (text.lines.empty()) return;
    const std::string& first = text.lines[0];
    std::vector<long> columns;
    for (std::size_t i = 0; i < first.size(); ++i)
        if (first[i] == ' ') columns.push_back(static_cast<long>(i) + 1);
    if (columns.empty()) return;

    long spaces = static_cast<long>(columns.size());
    std::string listed;
    for (std::size_t i = 0; i < columns.size() && i < cells_named; ++i)
        listed += cat(i > 0 ? ", " : "", num(columns[i]));
    if (columns.size() > cells_named) listed += ", ...";
    warn(r, line_at(1),
         cat(count_of(spaces, "space"), " in the first line (column", spaces == 1 ? " " : "s ",
             listed,
             "): the reader counts each as one more byte in every line, so each later line "
             "slips ",
             count_of(spaces, "cell"), " further left than the one above (line 2 by ", num(spaces),
             ", line 3 by ", num(2 * spaces), ", and so on); keep the first line to X and '.'"));
}

void check_line_lengths(const Text& text, Report& r) {
    long count = static_cast<long>(text.lines.size());
    for (long n = 1; n <= count && n <= board_size; ++n) {
        long cells = static_cast<long>(text.lines[n - 1].size());
        if (cells == board_size) continue;
        bool last = n == count || n == board_size;
        std::string effect;
        if (cells < board_size)
            effect = last ? "the rest of its row is open floor"
                          : cat("the lines after it slip ", count_of(board_size - cells, "cell"),
                                " left");
        else
            effect = last ? "the cells past the 32nd are not on the board"
                          : cat("the lines after it slip ", count_of(cells - board_size, "cell"),
                                " right");
        warn(r, line_at(n), cat(count_of(cells, "cell"), ", not 32: ", effect));
    }
}

// Bytes of the board's lines other than X, '.', space and CR: one finding for each kind of
// byte, at its first place in the file.
void check_bytes(const Text& text, Report& r) {
    long seen[256] = {};
    std::vector<std::pair<unsigned char, std::string>> firsts;
    for (std::size_t n = 0; n < text.lines.size() && n < board_size; ++n)
        for (std::size_t i = 0; i < text.lines[n].size(); ++i) {
            auto c = static_cast<unsigned char>(text.lines[n][i]);
            if (c == wall || c == dot || c == space || c == '\r') continue;
            if (seen[c]++ == 0)
                firsts.emplace_back(c, line_at(static_cast<long>(n) + 1, static_cast<long>(i) + 1));
        }
    for (auto& [c, where] : firsts) {
        std::string also = seen[c] > 1 ? cat(" (", num(seen[c]), " in all, the first here)") : "";
        warn(r, std::move(where), cat(byte_name(c), " reads as open floor", also));
    }
}

void check_ends(const Text& text, Report& r) {
    if (text.ctrl_z && text.after_ctrl_z > 0)
        warn(r, line_at(text.ctrl_z_line, text.ctrl_z_column),
             cat("a Ctrl-Z byte ends the file for the reader: the ",
                 count_of(text.after_ctrl_z, "byte"), " after it are ignored"));

    long count = static_cast<long>(text.lines.size());
    long last_used = 0;
    for (long n = board_size + 1; n <= count; ++n)
        if (!blank(text.lines[n - 1])) last_used = n;
    if (last_used > 0)
        warn(r, line_at(board_size + 1),
             last_used == board_size + 1
                 ? "the board has 32 rows: line 33 is ignored"
                 : cat("the board has 32 rows: lines 33 to ", num(last_used), " are ignored"));

    if (count == 0)
        warn(r, "", "the file is empty: the whole board is open floor");
    else if (count < board_size)
        warn(r, line_at(count),
             cat("the file ends at line ", num(count), ": rows ", num(count),
                 " to 31 of the board are open floor"));
}

// ---- the board -------------------------------------------------------------------------------

bool wall_at(const Report& r, int x, int y) {
    return r.mapa[y][x] == wall;
}

// Every cell the player can walk to from the start: up, down, left and right, never into a
// wall and never off the board. The start itself counts even when it is a wall: the player
// stands there all the same.
void mark_reachable(const Report& r, bool (&reached)[board_size][board_size]) {
    std::vector<Cell> todo = {{start_x, start_y}};
    reached[start_y][start_x] = true;
    while (!todo.empty()) {
        Cell at = todo.back();
        todo.pop_back();
        for (Cell next :
             {Cell{at.x - 1, at.y}, {at.x + 1, at.y}, {at.x, at.y - 1}, {at.x, at.y + 1}})
            if (on_board(next.x, next.y) && !reached[next.y][next.x] &&
                !wall_at(r, next.x, next.y)) {
                reached[next.y][next.x] = true;
                todo.push_back(next);
            }
    }
}

void check_board(Report& r) {
    if (wall_at(r, start_x, start_y)) fail(r, "the player's starting cell (1, 1) is a wall");

    bool reached[board_size][board_size] = {};
    mark_reachable(r, reached);
    std::vector<Cell> lost;
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x)
            if (r.mapa[y][x] == dot && !reached[y][x]) lost.push_back({x, y});
    if (!lost.empty())
        fail(r, cat(count_of(static_cast<long>(lost.size()), "dot"),
                    " cannot be reached from the start (1, 1), so the game cannot be won: ",
                    cell_list(lost)));

    std::vector<Cell> open_border;
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) {
            bool border = x == 0 || y == 0 || x == board_size - 1 || y == board_size - 1;
            if (border && !wall_at(r, x, y)) open_border.push_back({x, y});
        }
    if (!open_border.empty())
        warn(r, "",
             cat("the border is open at ", count_of(static_cast<long>(open_border.size()), "cell"),
                 ", ", cell_list(open_border),
                 ": the game takes what lies off the board as wall, so it still plays"));

    static constexpr std::pair<const char*, Cell> mobs[] = {
        {"the patroller", {mob1_start_x, mob1_start_y}},
        {"the wanderer", {mob2_start_x, mob2_start_y}},
        {"the chaser", {mob3_start_x, mob3_start_y}}};
    for (const auto& [mob, at] : mobs)
        if (wall_at(r, at.x, at.y))
            warn(r, "", cat(mob, "'s starting cell (", num(at.x), ", ", num(at.y), ") is a wall"));

    // The patroller walks round columns 1 to 11, rows 3 to 5, looking at nothing.
    std::vector<Cell> crossed;
    for (int y = 3; y <= 5; ++y)
        for (int x = 1; x <= 11; ++x) {
            bool on_round = y == 3 || y == 5 || x == 1 || x == 11;
            if (on_round && wall_at(r, x, y)) crossed.push_back({x, y});
        }
    if (!crossed.empty())
        warn(r, "",
             cat("the patroller's round (columns 1 to 11, rows 3 to 5) crosses walls at ",
                 cell_list(crossed), ": it walks through them, and its A stays drawn there"));

    if (r.dots == 0) warn(r, "", "no dots: the first key wins the game");
}

void analyse(std::FILE* file, Report& r) {
    Text text = text_of(file);
    check_first_line(text, r);
    check_line_lengths(text, r);
    check_bytes(text, r);
    check_ends(text, r);

    std::rewind(file);
    std::memset(r.mapa, 0, sizeof r.mapa);
    read_map(r.mapa, file);
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) r.dots += r.mapa[y][x] == dot;
    check_board(r);
}

// ---- the printout ----------------------------------------------------------------------------

void print_board(const Report& r, const char* name, std::FILE* out) {
    std::fprintf(out, "%s as the game reads it, columns x and rows y from 0:\n", name);
    std::fprintf(out, "    ");
    // Tens over columns 10, 20 and 30.
    for (int x = 0; x <= (board_size - 1) / 10 * 10; ++x)
        std::fputc(x % 10 == 0 && x > 0 ? '0' + x / 10 : ' ', out);
    std::fprintf(out, "\n    ");
    for (int x = 0; x < board_size; ++x) std::fputc('0' + x % 10, out);
    std::fputc('\n', out);
    for (int y = 0; y < board_size; ++y) {
        std::fprintf(out, "%2d  ", y);
        for (int x = 0; x < board_size; ++x) {
            unsigned char c = r.mapa[y][x];
            std::fputc(c == wall || c == dot ? c : ' ', out);
        }
        std::fprintf(out, "  %d\n", y);
    }
    std::fprintf(out, "%s\n", count_of(r.dots, "dot").c_str());
}

} // namespace

int check_map(std::FILE* file, const char* name, std::FILE* out) {
    Report r;
    analyse(file, r);
    print_board(r, name, out);

    int errors = 0, warnings = 0;
    for (const Finding& f : r.findings) {
        (f.error ? errors : warnings) += 1;
        std::fprintf(out, "%s: %s%s%s: %s\n", f.error ? "error" : "warning", name,
                     f.where.empty() ? "" : " ", f.where.c_str(), f.text.c_str());
    }
    std::fprintf(out, "%s: %s, %s\n", name,
                 errors == 0 ? "no errors" : count_of(errors, "error").c_str(),
                 warnings == 0 ? "no warnings" : count_of(warnings, "warning").c_str());
    return errors > 0 ? 1 : 0;
}
