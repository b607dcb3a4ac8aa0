#include "check/check.h"

#include <iterator>
#include <string>
#include <utility>

#include "check/findings.h"
#include "game/map_reader.h"
#include "game/startup.h"
#include "history/names.h"
#include "run/run.h"

// The checker reads the file twice: once as text, for what the author wrote (text.cpp),
// and once through the game's own reader, for the board the game will play (board.cpp).
// Both hand back findings as plain data; this file words them, every one, and prints the report.

namespace {

constexpr std::size_t cells_named = 5; // a finding about many cells names the first few
constexpr long shown_per_kind = 10;    // findings of one kind past these are only counted

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

// "3 cells", "1 cell".
std::string count_of(long n, const char* thing) {
    return cat(num(n), " ", thing, n == 1 ? "" : "s");
}

std::string cell_at(Cell c) {
    return cat("(", num(c.x), ", ", num(c.y), ")");
}

// "(5, 7), (6, 7) and 4 more".
std::string cell_list(const std::vector<Cell>& cells) {
    std::string list;
    for (std::size_t i = 0; i < cells.size() && i < cells_named; ++i)
        list += cat(i > 0 ? ", " : "", cell_at(cells[i]));
    if (cells.size() > cells_named)
        list += cat(" and ", num(static_cast<long>(cells.size() - cells_named)), " more");
    return list;
}

// "1 to 20" for a run, else "1, 4, 9, 12, 15 and 3 more".
std::string line_list(const std::vector<long>& lines) {
    long first = lines.front(), last = lines.back();
    if (last - first + 1 == static_cast<long>(lines.size()) && lines.size() > 2)
        return cat(num(first), " to ", num(last));
    std::string list;
    for (std::size_t i = 0; i < lines.size() && i < cells_named; ++i)
        list += cat(i == 0 ? "" : i + 1 == lines.size() ? " and " : ", ", num(lines[i]));
    if (lines.size() > cells_named)
        list += cat(" and ", num(static_cast<long>(lines.size() - cells_named)), " more");
    return list;
}

std::string character_name(const std::string& c) {
    auto byte = static_cast<unsigned char>(c[0]);
    if (c.size() > 1) return cat("'", c, "'");
    if (byte == '\t') return "a tab";
    if (byte > ' ' && byte < 0x7F) return cat("'", c, "'");
    char name[16];
    std::snprintf(name, sizeof name, "byte 0x%02X", byte);
    return name;
}

std::string slip(long by) {
    return cat("the lines after it slip ", count_of(by < 0 ? -by : by, "cell"),
               by < 0 ? " left" : " right");
}

// "2 trailing spaces", "3 trailing spaces and tabs".
std::string trailing_words(const Finding& f) {
    if (f.spaces + f.tabs + f.crs == 1)
        return count_of(f.trailing, f.spaces ? "trailing space"
                                    : f.tabs ? "trailing tab"
                                             : "trailing CR");
    std::string kinds;
    for (auto [there, name] : {std::pair{f.spaces, "spaces"}, {f.tabs, "tabs"}, {f.crs, "CRs"}})
        if (there) kinds += cat(kinds.empty() ? "" : " and ", name);
    return cat(num(f.trailing), " trailing ", kinds);
}

// What fixes trailing bytes: a CR needs other line ends, the rest only deleting.
const char* trailing_fix(const Finding& f) {
    return f.crs ? "save the file with LF or CR LF line ends" : "delete them";
}

std::string line_length(const Finding& f) {
    std::string trailing = trailing_words(f);
    std::string size = cat(count_of(f.cells, "cell"), ", not 32");
    std::string what = f.trailing == 0 ? size
                       : f.cells - f.trailing == board_size
                           ? cat(trailing, ", invisible in an editor, make it ", size)
                           : cat(size, ", counting ", trailing);
    if (f.lone_crs > 0)
        what += cat(f.trailing > 0 ? " and " : ", counting ",
                    f.lone_crs == 1 ? "a CR" : cat(num(f.lone_crs), " CRs, the first"),
                    " here, which ends no line for the reader but may in an editor");
    std::string effect = !f.at_end              ? slip(f.cells - board_size)
                         : f.cells < board_size ? "the rest of its row is open floor"
                         : f.runs_on ? "the cells past the 32nd run on into the row below"
                                     : "the cells past the 32nd are not on the board";
    return cat(what, ": ", effect);
}

// One switch over the kinds, long because every finding is worded here and nowhere else.
std::string wording(const Finding& f) {
    switch (f.kind) {
    case Kind::byte_order_mark:
        return "the file starts with a UTF-8 byte-order mark, 3 bytes an editor does not show: "
               "the reader takes them as 3 cells of open floor, so every row slips 3 cells "
               "right; save the file as UTF-8 without a byte-order mark, or as plain ASCII";
    case Kind::cr_line_ends:
        return cat("the file has CR line ends (old Mac style), ", num(f.count),
                   " of them, which the game does not read as line ends: it reads the lines as "
                   "one; save the file with LF or CR LF line ends");
    case Kind::junk: {
        std::string places;
        for (const LineColumn& p : f.places)
            places +=
                cat(places.empty() ? "" : "; ", "line ", num(p.line), ", column ", num(p.column));
        return cat(num(f.count), " of the ", num(f.of),
                   " bytes of the board's lines are not text (at ", places,
                   f.count > static_cast<long>(f.places.size()) ? " and more" : "",
                   "): is this a map file?");
    }
    case Kind::first_line_spaces: {
        std::string listed;
        for (std::size_t i = 0; i < f.lines.size() && i < cells_named; ++i)
            listed += cat(i > 0 ? ", " : "", num(f.lines[i]));
        if (f.lines.size() > cells_named) listed += ", ...";
        if (f.of > 0)
            return cat("every line ends in ", count_of(f.count, "trailing space"),
                       ", invisible in an editor: the first line's make the reader take every "
                       "line as ",
                       count_of(board_size + f.count, "cell"),
                       ", so the rows read true, but a line without them slips the lines after "
                       "it; delete them from every line");
        if (f.trailing > 0)
            return cat(count_of(f.count, "trailing space"),
                       " in the first line, invisible in an editor: the reader counts each as one "
                       "more byte in every line, so from line 3 on each line slips ",
                       count_of(f.count, "cell"), " further left than the one above (line 3 by ",
                       num(f.count), ", line 4 by ", num(2 * f.count), ", and so on); delete them");
        return cat(count_of(f.count, "space"), " in the first line (column",
                   f.count == 1 ? " " : "s ", listed,
                   "): the reader counts each as one more byte in every line, so each later line "
                   "slips ",
                   count_of(f.count, "cell"), " further left than the one above (line 2 by ",
                   num(f.count), ", line 3 by ", num(2 * f.count),
                   ", and so on); keep the first line to X and '.'");
    }
    case Kind::empty_line:
        return f.at_end ? "an empty line: its row is open floor"
                        : "an empty line: the lines after it move up a row and 1 cell right; "
                          "delete it";
    case Kind::line_length:
        return line_length(f);
    case Kind::lengths_alike:
        if (f.cells == 0)
            return cat(num(f.count), " of ", num(f.of), " lines are empty (lines ",
                       line_list(f.lines),
                       "): is the file double-spaced? Each empty line moves the lines after it "
                       "up a row; delete them");
        if (f.trailing > 0)
            return cat(num(f.count), " of ", num(f.of), " lines end in ", trailing_words(f),
                       ", invisible in an editor, that make them ", count_of(f.cells, "cell"),
                       " long, not 32 (lines ", line_list(f.lines),
                       "): each slips the lines after it ", count_of(f.cells - board_size, "cell"),
                       " right; ", trailing_fix(f));
        return cat(num(f.count), " of ", num(f.of), " lines are ", count_of(f.cells, "cell"),
                   " long, not 32 (lines ", line_list(f.lines),
                   "): is this a map of another size? The board is 32 by 32");
    case Kind::stray_character: {
        std::string also = f.count > 1 ? cat(" (", num(f.count), " in all, the first here)") : "";
        if (f.character.size() > 1)
            return cat(character_name(f.character), " is ", num(f.character.size()),
                       " bytes in UTF-8, which read as ",
                       num(static_cast<long>(f.character.size())), " cells of open floor", also);
        return cat(character_name(f.character), " reads as open floor", also);
    }
    case Kind::ctrl_z:
        return cat("a Ctrl-Z byte ends the file for the reader: the ", count_of(f.count, "byte"),
                   " after it ", f.count == 1 ? "is" : "are", " ignored");
    case Kind::past_the_board:
        return f.count == 1 ? cat("the board has 32 rows: line ", num(f.line), " is ignored")
                            : cat("the board has 32 rows: lines ", num(f.line), " to ",
                                  num(f.line + f.count - 1), " are ignored");
    case Kind::short_file:
        return cat("the file ends at line ", num(f.line), ": ",
                   f.count == board_size - 1
                       ? "row 31 of the board is open floor"
                       : cat("rows ", num(f.count), " to 31 of the board are open floor"));
    case Kind::empty_file:
        return "the file is empty: the whole board is open floor";
    case Kind::start_is_wall:
        return "the player's starting cell (1, 1) is a wall";
    case Kind::dot_on_start:
        return f.at_end ? "a dot on the player's starting cell (1, 1), and a wall on every side: "
                          "the player stands on the dot and can never step off and back onto "
                          "it, so the game cannot be won"
                        : "a dot on the player's starting cell (1, 1), which must be open "
                          "floor: the dot counts, but the player stands on it, so it shows only "
                          "once they step off, and they must come back to eat it";
    case Kind::lost_dots:
        return cat(count_of(f.count, "dot"),
                   " cannot be reached from the start (1, 1), so the game cannot be won: ",
                   cell_list(f.cells_at));
    case Kind::open_border:
        return cat("the border is open at ", count_of(f.count, "cell"), ", ", cell_list(f.cells_at),
                   ": the game takes what lies off the board as wall, so it still plays");
    case Kind::mob_on_wall: {
        static const char* const mobs[] = {"the patroller", "the wanderer", "the chaser"};
        return cat(mobs[f.count], "'s starting cell ", cell_at(f.cells_at[0]), " is a wall");
    }
    case Kind::round_crosses_walls:
        return cat("the patroller's round (columns ", num(f.low.x), " to ", num(f.high.x),
                   ", rows ", num(f.low.y), " to ", num(f.high.y), ") crosses walls at ",
                   cell_list(f.cells_at), ": it walks through them, and its A stays drawn there");
    case Kind::no_dots:
        return "no dots: the first key wins the game";
    }
    return "";
}

// The line that counts the findings of a kind past those shown.
std::string more_of(Kind kind, long n) {
    const char* what = kind == Kind::empty_line    ? "empty lines"
                       : kind == Kind::line_length ? "lines not 32 cells long"
                                                   : "characters that read as open floor";
    return cat(num(n), " more ", what, ", not shown");
}

void print_board(const Grid& mapa, long dots, const char* name, std::FILE* out) {
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
            unsigned char c = mapa[y][x];
            std::fputc(c == wall || c == dot ? c : ' ', out);
        }
        std::fprintf(out, "  %d\n", y);
    }
    std::fprintf(out, "%s\n", count_of(dots, "dot").c_str());
}

} // namespace

bool is_error(Kind kind) {
    return kind == Kind::start_is_wall || kind == Kind::dot_on_start || kind == Kind::lost_dots;
}

int check_map(std::FILE* file, const char* file_name, std::FILE* out, bool quiet) {
    std::string name_shown = shown_name(file_name);
    const char* name = name_shown.c_str();
    std::vector<Finding> findings;
    check_text(file, findings);
    std::rewind(file);
    Board board;
    read_board(board, file); // the board exactly as a game reads it
    const Grid& mapa = board.cells;
    check_board(mapa, findings);

    if (!quiet) {
        long dots = 0;
        for (int y = 0; y < board_size; ++y)
            for (int x = 0; x < board_size; ++x) dots += mapa[y][x] == dot;
        print_board(mapa, dots, name, out);
    }

    long errors = 0, warnings = 0;
    long of_kind[static_cast<int>(Kind::no_dots) + 1] = {};
    for (const Finding& f : findings) ++of_kind[static_cast<int>(f.kind)];
    long shown[std::size(of_kind)] = {};
    for (const Finding& f : findings) {
        bool error = is_error(f.kind);
        (error ? errors : warnings) += 1;
        const char* severity = error ? "error" : "warning";
        long& n = shown[static_cast<int>(f.kind)];
        if (++n <= shown_per_kind) {
            std::string where = f.line == 0 ? ""
                                : f.column == 0
                                    ? cat(" line ", num(f.line))
                                    : cat(" line ", num(f.line), ", column ", num(f.column));
            std::fprintf(out, "%s: %s%s: %s\n", severity, name, where.c_str(), wording(f).c_str());
        } else if (n == of_kind[static_cast<int>(f.kind)]) {
            std::fprintf(out, "%s: %s: %s\n", severity, name,
                         more_of(f.kind, n - shown_per_kind).c_str());
        }
    }
    std::fprintf(out, "%s: %s, %s\n", name,
                 errors == 0 ? "no errors" : count_of(errors, "error").c_str(),
                 warnings == 0 ? "no warnings" : count_of(warnings, "warning").c_str());
    return errors > 0 ? 1 : 0;
}

int check_maps(const std::vector<const char*>& map_names, bool quiet) {
    std::vector<const char*> names = map_names;
    if (names.empty()) names.push_back(nullptr);
    // Each map on its own: one that cannot be opened is reported, and the others still checked.
    int status = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::fflush(stdout); // a refusal goes to stderr: keep it in its place among the maps
        std::FILE* map = open_map_or_report(names[i]);
        if (!quiet && i > 0) std::fputc('\n', stdout);
        if (map == nullptr) {
            status = 1;
            continue;
        }
        if (check_map(map, names[i] != nullptr ? names[i] : map_file_name, stdout, quiet) != 0)
            status = 1;
    }
    return status;
}

BoardVerdict check_cells(const unsigned char (&cells)[board_size][board_size]) {
    Grid mapa{}; // the spare row stays empty, as no clean file reaches it
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) mapa[y][x] = cells[y][x];
    std::vector<Finding> findings;
    check_board(mapa, findings);
    BoardVerdict verdict;
    for (const Finding& f : findings) {
        bool error = is_error(f.kind);
        (error ? verdict.errors : verdict.warnings) += 1;
        verdict.findings.push_back(cat(error ? "error: " : "warning: ", wording(f)));
    }
    return verdict;
}
