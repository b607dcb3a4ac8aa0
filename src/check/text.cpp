// What is wrong with a map file's text: line ends, line lengths, bytes a map does not hold.
// The findings name causes an author can fix in an editor, not only how the rows come out.
#include <algorithm>
#include <map>
#include <string_view>

#include "check/findings.h"
#include "game/map_reader.h"

namespace {

constexpr long most_places = 3; // a summary names the first few places it is about

// The file as the reader's text mode delivers it (a CR LF is one line feed, a Ctrl-Z ends it),
// cut into lines without their line feeds.
struct Text {
    std::string bytes;
    std::vector<long> starts; // where each line starts in `bytes`
    std::vector<long> lengths;
    bool ctrl_z = false;
    long after_ctrl_z = 0; // bytes the reader never sees
    bool bom = false;      // a UTF-8 byte-order mark opens the file
    long width = 0;        // bytes the reader takes per board row
    long rows_read = 0;    // rows the reader reads, board and spare row together
    long reaching = 0;     // lines up to the last one with a byte on the board
};

Text text_of(std::FILE* file) {
    Text t;
    TextFile in{file};
    // Bounded as the reader is, should the file have grown since it was opened.
    for (int c; t.bytes.size() <= max_map_bytes && (c = text_getc(in)) != EOF;)
        t.bytes += static_cast<char>(c);
    if (in.at_ctrl_z) {
        t.ctrl_z = true;
        while (t.after_ctrl_z <= max_map_bytes && std::getc(file) != EOF) ++t.after_ctrl_z;
    }
    long size = static_cast<long>(t.bytes.size());
    for (long start = 0, i = 0; i <= size; ++i)
        if (i == size ? i > start : t.bytes[i] == '\n') {
            t.starts.push_back(start);
            t.lengths.push_back(i - start);
            start = i + 1;
        }
    t.bom = t.bytes.starts_with("\xEF\xBB\xBF");

    // The reader's measure: the first line's spaces and line feed each lengthen every row.
    std::string_view first(t.bytes.data(), t.lengths.empty() ? 0 : t.lengths[0]);
    long line_feeds = 0;
    for (char c : t.bytes) line_feeds += c == '\n';
    t.width = board_size + static_cast<long>(std::count(first.begin(), first.end(), ' ')) +
              (line_feeds > 0 ? 1 : 0);
    t.rows_read = std::min<long>(line_feeds + 1, map_rows);
    return t;
}

std::string_view line_of(const Text& t, long n) {
    return std::string_view(t.bytes).substr(t.starts[n], t.lengths[n]);
}

// Whether byte k of the text ends up on a cell of the board, by the reader's arithmetic: it is
// read for row k / width at column k % width; a column past 31 runs on into the rows below,
// where the next row read overwrites it, unless this was the last row read.
bool byte_lands(const Text& t, long k) {
    long row = k / t.width, column = k % t.width;
    return row < t.rows_read && row * board_size + column < board_size * board_size &&
           (column < board_size || row + 1 >= t.rows_read);
}

// Whether any byte of line n, from its byte `from` on, lands on the board.
bool lands(const Text& t, long n, long from = 0) {
    for (long k = t.starts[n] + from; k < t.starts[n] + t.lengths[n]; ++k)
        if (byte_lands(t, k)) return true;
    return false;
}

bool blank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// Bytes of a valid UTF-8 character starting at `at`, or 0.
long utf8_length(std::string_view s, std::size_t at) {
    auto c = static_cast<unsigned char>(s[at]);
    long n = c >= 0xC2 && c <= 0xDF   ? 2
             : c >= 0xE0 && c <= 0xEF ? 3
             : c >= 0xF0 && c <= 0xF4 ? 4
                                      : 0;
    if (n == 0 || at + n > s.size()) return 0;
    for (long i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[at + i]) & 0xC0) != 0x80) return 0;
    return n;
}

// The column an editor shows for byte `at` of line n: a UTF-8 character is one column, and the
// byte-order mark none.
long column_at(const Text& t, long n, long at) {
    std::string_view line = line_of(t, n);
    long column = 1;
    for (long i = n == 0 && t.bom ? 3 : 0; i < at; ++column)
        i += std::max(utf8_length(line, static_cast<std::size_t>(i)), 1L);
    return column;
}

// The bytes of the board's lines a map does not hold: one finding per character, at its first
// place. Returns how many bytes are not text at all (binary junk) and where the first are.
// The trailing bytes a length finding names (`told`, by line) are not named again.
long check_characters(const Text& t, long lines, const std::vector<long>& told,
                      std::vector<Finding>& found, long& scanned,
                      std::vector<LineColumn>& junk_places) {
    std::map<std::string, std::size_t> seen;
    long junk = 0;
    scanned = 0;
    for (long n = 0; n < lines; ++n) {
        std::string_view line = line_of(t, n);
        std::size_t untold = line.size() - static_cast<std::size_t>(told[n]);
        std::size_t i = n == 0 && t.bom ? 3 : 0;
        for (long column = 1; i < line.size(); ++column) {
            auto c = static_cast<unsigned char>(line[i]);
            long size = c >= 0x80 ? std::max(utf8_length(line, i), 1L) : 1;
            bool text = c == '\t' || c == '\r' || (c >= ' ' && c != 0x7F && (c < 0x80 || size > 1));
            scanned += size;
            if (!text) {
                ++junk;
                if (static_cast<long>(junk_places.size()) < most_places)
                    junk_places.push_back({n + 1, column});
            }
            if (c != wall && c != dot && c != space && c != '\r' && i < untold) {
                std::string character(line.substr(i, size));
                auto [at, fresh] = seen.try_emplace(character, found.size());
                if (fresh)
                    found.push_back({.kind = Kind::stray_character,
                                     .line = n + 1,
                                     .column = column,
                                     .character = character});
                ++found[at->second].count;
            }
            i += size;
        }
    }
    return junk;
}

// The spaces of the first line, each of which lengthens every row the reader reads. Returns
// whether they are all trailing ones, past its 32 cells: the finding then says it all.
bool check_first_line(const Text& t, std::vector<Finding>& found) {
    std::string_view first = line_of(t, 0);
    long skip = t.bom ? 3 : 0;
    Finding f{.kind = Kind::first_line_spaces, .line = 1};
    // Columns as an editor shows them; whether they trail goes by cells.
    long first_cell = 0;
    for (std::size_t i = skip, column = 1; i < first.size(); ++column) {
        if (first[i] == ' ') {
            if (first_cell == 0) first_cell = static_cast<long>(i) - skip + 1;
            f.lines.push_back(static_cast<long>(column));
        }
        i += std::max(utf8_length(first, i), 1L);
    }
    f.count = static_cast<long>(f.lines.size());
    if (f.count == 0) return false;
    long cells = static_cast<long>(first.size()) - skip;
    if (first_cell == board_size + 1 && cells == board_size + f.count) f.trailing = f.count;
    found.push_back(f);
    return f.trailing > 0;
}

// Line n, not empty, as a line-length finding: its cells, and what in it an editor may not show.
Finding length_of(const Text& t, long n, bool at_end) {
    std::string_view line = line_of(t, n);
    Finding f{.kind = Kind::line_length, .line = n + 1, .at_end = at_end};
    // The byte-order mark has a finding of its own.
    f.cells = static_cast<long>(line.size()) - (n == 0 && t.bom ? 3 : 0);
    // What an editor does not show at the end of a line (spaces, tabs, the CR of a CR CR LF)
    // is named when it is what makes the line too long.
    for (auto c = line.rbegin(); c != line.rend() && (*c == ' ' || *c == '\t' || *c == '\r'); ++c) {
        if (++f.trailing > f.cells - board_size) break;
        (*c == ' ' ? f.spaces : *c == '\t' ? f.tabs : f.crs) = true;
    }
    if (f.trailing > f.cells - board_size) f.trailing = 0, f.spaces = f.tabs = f.crs = false;
    // A CR inside a line ends none for the reader, but may for an editor, which then shows
    // two short lines where the reader counts one long one: named where there is more to
    // the line than its trailing bytes.
    if (f.cells - f.trailing > board_size) {
        std::string_view inside = line.substr(0, line.size() - f.trailing);
        f.lone_crs = static_cast<long>(std::count(inside.begin(), inside.end(), '\r'));
        if (f.lone_crs > 0) f.column = column_at(t, n, static_cast<long>(inside.find('\r')));
    }
    // The last line's cells past the 32nd run on into the row below when no row is read
    // after them.
    f.runs_on = at_end && f.cells > board_size &&
                lands(t, n, static_cast<long>(line.size()) - (f.cells - board_size));
    return f;
}

// Empty lines and lines not 32 cells long, up to the last line that reaches the board; when
// most of them share one length, a single summary in place of the lines.
// Sets `told`, by line, to the trailing bytes the findings name as what makes the line too long.
void check_lengths(const Text& t, long lines, bool first_told, std::vector<Finding>& found,
                   std::vector<long>& told) {
    long last_text = -1;
    for (long n = 0; n < static_cast<long>(t.starts.size()); ++n)
        if (t.lengths[n] > 0) last_text = n;

    std::vector<Finding> wrong;
    for (long n = 0; n < lines; ++n) {
        bool at_end = n + 1 >= t.reaching;
        if (t.lengths[n] == 0) {
            if (n < last_text)
                wrong.push_back({.kind = Kind::empty_line, .line = n + 1, .at_end = at_end});
            continue;
        }
        Finding f = length_of(t, n, at_end);
        if (f.cells != board_size && !(n == 0 && first_told)) wrong.push_back(f);
    }

    // An empty line counts as one of 0 cells here.
    std::map<long, long> by_length;
    for (const Finding& f : wrong) ++by_length[f.cells];
    Finding alike{.kind = Kind::lengths_alike, .of = lines};
    bool trailing = true; // whether what an editor does not show makes every one too long
    for (auto [cells, count] : by_length)
        if (count > alike.count) alike.count = count, alike.cells = cells;
    bool summed = alike.count >= 3 && 2 * alike.count >= lines;
    for (const Finding& f : wrong) {
        if (summed && f.cells == alike.cells) {
            alike.lines.push_back(f.line);
            trailing = trailing && f.trailing > 0 && f.cells - f.trailing == board_size;
            alike.spaces |= f.spaces, alike.tabs |= f.tabs, alike.crs |= f.crs;
        } else {
            found.push_back(f);
            told[f.line - 1] = f.trailing;
        }
    }
    if (summed) {
        alike.line = alike.lines[0];
        alike.trailing = trailing ? alike.cells - board_size : 0;
        for (long line : alike.lines) told[line - 1] = alike.trailing;
        found.push_back(alike);
    }
}

// Where the file ends against the board: text past it, or rows it never reaches.
void check_ends(const Text& t, std::vector<Finding>& found, bool runs_on) {
    long count = static_cast<long>(t.starts.size());
    if (t.ctrl_z && t.after_ctrl_z > 0) {
        bool ends_line = t.bytes.empty() || t.bytes.back() == '\n';
        found.push_back({.kind = Kind::ctrl_z,
                         .line = ends_line ? count + 1 : count,
                         .column = ends_line ? 1 : column_at(t, count - 1, t.lengths.back()),
                         .count = t.after_ctrl_z});
    }
    if (count == 0) {
        found.push_back({.kind = Kind::empty_file});
        return;
    }
    if (runs_on) return; // the lines are not the author's lines: say nothing of them

    long last_used = -1;
    for (long n = t.reaching; n < count; ++n)
        if (!blank(line_of(t, n))) last_used = n;
    if (last_used >= 0)
        found.push_back({.kind = Kind::past_the_board,
                         .line = t.reaching + 1,
                         .count = last_used - t.reaching + 1});

    long size = static_cast<long>(t.bytes.size());
    long open_from = std::min((size + t.width - 1) / t.width, t.rows_read);
    if (open_from < board_size)
        found.push_back({.kind = Kind::short_file, .line = count, .count = open_from});
}

} // namespace

void check_text(std::FILE* file, std::vector<Finding>& found) {
    Text t = text_of(file);
    long lone_crs = static_cast<long>(std::count(t.bytes.begin(), t.bytes.end(), '\r'));
    long line_feeds = static_cast<long>(std::count(t.bytes.begin(), t.bytes.end(), '\n'));
    bool runs_on = lone_crs > line_feeds; // old Mac line ends: all one line to the reader

    t.reaching = static_cast<long>(t.starts.size());
    while (t.reaching > 0 && !lands(t, t.reaching - 1)) --t.reaching;
    long lines = std::min<long>(t.reaching, board_size); // the board's lines, as the author meant

    // The lines' lengths first: what they name as the cause is not named again as a character.
    std::vector<Finding> lengths;
    std::vector<long> told(static_cast<std::size_t>(lines), 0);
    if (!runs_on && !t.starts.empty()) {
        bool first_told = check_first_line(t, lengths);
        // Every line padded as the first is reads true: the first line's trailing spaces
        // lengthen every row the reader reads by as much.
        bool alike = first_told && lines > 1;
        for (long n = 1; alike && n < lines; ++n)
            alike = t.lengths[n] == board_size + lengths.back().count;
        if (alike)
            lengths.back().of = lines;
        else
            check_lengths(t, lines, first_told, lengths, told);
    }
    std::vector<Finding> characters;
    std::vector<LineColumn> junk_places;
    long scanned = 0;
    long junk = check_characters(t, lines, told, characters, scanned, junk_places);
    bool is_junk = junk >= 8 && 2 * junk > scanned;

    if (t.bom) found.push_back({.kind = Kind::byte_order_mark, .line = 1, .column = 1});
    if (runs_on) found.push_back({.kind = Kind::cr_line_ends, .count = lone_crs});
    if (is_junk)
        found.push_back({.kind = Kind::junk, .count = junk, .of = scanned, .places = junk_places});
    if (!is_junk) {
        found.insert(found.end(), lengths.begin(), lengths.end());
        found.insert(found.end(), characters.begin(), characters.end());
    }
    check_ends(t, found, runs_on || is_junk);
}
