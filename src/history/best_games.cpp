#include "history/best_games.h"

#include <algorithm>
#include <cstdio>

// The file is text a person can read: a first line that names the format, then one game per
// line, oldest first, each led by its format's number so that a newer version's lines can sit
// beside ours:
//
//     dotmaze scores, format 1: format result seconds lives dots/total date board map
//     1 won 151.400 3 120/120 2026-12-08T07:28:08 5c7a0e2b11f4d9a3 mapa.txt
//
// The map's name comes last and may hold spaces; a backslash and the control bytes in it are
// written as \\ and \xHH, so a record stays on its line whatever the name.

namespace {

constexpr const char* header_start = "dotmaze scores";
constexpr int board_digits = 16;

// ---- reading a record ----------------------------------------------------------------------

// The next field up to a single space; false when there is none.
bool next_field(const std::string& line, std::size_t& at, std::string& field) {
    std::size_t end = line.find(' ', at);
    if (end == std::string::npos || end == at) return false;
    field = line.substr(at, end - at);
    at = end + 1;
    return true;
}

bool all_digits(const std::string& s, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// A count of at most nine digits, so that it fits an int.
bool parse_count(const std::string& s, int& n) {
    if (s.size() > 9 || !all_digits(s, 0, s.size())) return false;
    n = std::stoi(s);
    return true;
}

// Seconds with exactly three decimals: "151.400".
bool parse_seconds(const std::string& s, std::int64_t& ms) {
    std::size_t point = s.find('.');
    if (point == std::string::npos || point > 12 || s.size() != point + 4 ||
        !all_digits(s, 0, point) || !all_digits(s, point + 1, s.size()))
        return false;
    ms = std::stoll(s.substr(0, point)) * 1000 + std::stoi(s.substr(point + 1));
    return true;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool unescape(const std::string& s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (c < 0x20 || c == 0x7F) return false;
        if (c != '\\') {
            out += static_cast<char>(c);
        } else if (i + 1 < s.size() && s[i + 1] == '\\') {
            out += '\\';
            i += 1;
        } else if (i + 3 < s.size() && s[i + 1] == 'x' && hex_value(s[i + 2]) >= 0 &&
                   hex_value(s[i + 3]) >= 0) {
            out += static_cast<char>(hex_value(s[i + 2]) * 16 + hex_value(s[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return !out.empty();
}

bool parse_record(std::string line, GameRecord& r) {
    if (!line.empty() && line.back() == '\r') line.pop_back(); // a line ended by an editor
    std::size_t at = 0;
    std::string format, result, seconds, lives, dots, board;
    if (!next_field(line, at, format) || format != std::to_string(scores_format) ||
        !next_field(line, at, result) || !next_field(line, at, seconds) ||
        !next_field(line, at, lives) || !next_field(line, at, dots) ||
        !next_field(line, at, r.date) || !next_field(line, at, board))
        return false;
    if (result != "won" && result != "lost") return false;
    r.won = result == "won";
    std::size_t slash = dots.find('/');
    if (!parse_seconds(seconds, r.time_ms) || !parse_count(lives, r.lives) ||
        slash == std::string::npos || !parse_count(dots.substr(0, slash), r.dots) ||
        !parse_count(dots.substr(slash + 1), r.total) || r.dots > r.total)
        return false;
    if (board.size() != board_digits) return false;
    for (char c : board)
        if (hex_value(c) < 0) return false;
    r.board = board;
    for (char c : r.date)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return unescape(line.substr(at), r.map);
}

// ---- writing a record ----------------------------------------------------------------------

std::string escape(const std::string& s) {
    std::string out;
    for (char ch : s) {
        unsigned char c = ch;
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string record_text(const GameRecord& r) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%d %s %lld.%03d %d %d/%d ", scores_format,
                  r.won ? "won" : "lost", static_cast<long long>(r.time_ms / 1000),
                  static_cast<int>(r.time_ms % 1000), r.lives, r.dots, r.total);
    return numbers + r.date + " " + r.board + " " + escape(r.map);
}

std::string default_header() {
    return std::string(header_start) + ", format " + std::to_string(scores_format) +
           ": format result seconds lives dots/total date board map";
}

// ---- ranking -------------------------------------------------------------------------------

// A stable sort keeps equal games in the order played, so that a new game ties behind the old
// ones.
void rank(const ScoresFile& file, std::vector<std::size_t>& lines) {
    std::stable_sort(lines.begin(), lines.end(), [&](std::size_t a, std::size_t b) {
        return ranks_before(file.lines[a].record, file.lines[b].record);
    });
}

// The lines of `text` in turn, without their line feeds, to `take(line, first)`.
template <typename Take> void each_line(const std::string& text, Take take) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        take(text.substr(at, end - at), at == 0);
        at = end + 1;
    }
}

// What `line` takes in the file, its line feed included.
std::size_t size_in_file(const ScoreLine& line) {
    return (line.known ? record_text(line.record).size() : line.text.size()) + 1;
}

// Keeps the lines not in `dropped`, in their order.
void drop_lines(ScoresFile& file, const std::vector<bool>& dropped) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < file.lines.size(); ++i)
        if (!dropped[i] && kept++ != i) file.lines[kept - 1] = std::move(file.lines[i]);
    file.lines.resize(kept);
}

} // namespace

// ---- the file ------------------------------------------------------------------------------

ScoresFile parse_scores(const std::string& text) {
    ScoresFile file;
    // A newer version's header is kept as it is: rewriting it would claim its lines are ours.
    auto header = [](const std::string& line, bool first) {
        return first && line.rfind(header_start, 0) == 0;
    };
    // Counted first and made in one go, the game to come included: a list of some ten thousand
    // lines grown as it is read would take half as much again while it grows.
    std::size_t entries = 1;
    bool span_ended = true; // by a record, or by the start
    GameRecord record;
    each_line(text, [&](const std::string& line, bool first) {
        if (header(line, first)) return;
        bool known = parse_record(line, record);
        entries += known || span_ended;
        span_ended = known;
    });
    file.lines.reserve(entries);
    // A damaged line keeps nothing of what was read of it before it failed.
    each_line(text, [&](const std::string& line, bool first) {
        if (header(line, first))
            file.header = line;
        else if (parse_record(line, record))
            file.lines.push_back({true, std::move(record), {}});
        else if (!file.lines.empty() && !file.lines.back().known)
            (file.lines.back().text += '\n') += line;
        else
            file.lines.push_back({false, {}, line});
    });
    if (file.header.empty()) file.header = default_header();
    return file;
}

std::string format_scores(const ScoresFile& file) {
    const std::string& header = file.header.empty() ? default_header() : file.header;
    // Made to size: near the limit, a text grown as it is written would take 2 MiB.
    std::size_t size = header.size() + 1;
    for (const ScoreLine& line : file.lines) size += size_in_file(line);
    std::string text;
    text.reserve(size);
    (text += header) += '\n';
    for (const ScoreLine& line : file.lines) {
        if (line.known)
            text += record_text(line.record);
        else
            text += line.text;
        text += '\n';
    }
    return text;
}

// ---- ranking -------------------------------------------------------------------------------

bool ranks_before(const GameRecord& a, const GameRecord& b) {
    if (a.won != b.won) return a.won;
    if (!a.won) return a.dots > b.dots;
    if (a.time_ms != b.time_ms) return a.time_ms < b.time_ms;
    return a.lives > b.lives;
}

std::vector<std::size_t> ranked_lines(const ScoresFile& file, const std::string& board) {
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < file.lines.size(); ++i)
        if (file.lines[i].known && file.lines[i].record.board == board) lines.push_back(i);
    rank(file, lines);
    return lines;
}

std::vector<std::size_t> ranked_boards(const ScoresFile& file) {
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < file.lines.size(); ++i)
        if (file.lines[i].known) lines.push_back(i);
    std::stable_sort(lines.begin(), lines.end(), [&](std::size_t a, std::size_t b) {
        const GameRecord &first = file.lines[a].record, &second = file.lines[b].record;
        if (first.board != second.board) return first.board < second.board;
        return ranks_before(first, second);
    });
    return lines;
}

std::size_t board_end(const ScoresFile& file, const std::vector<std::size_t>& lines,
                      std::size_t from) {
    std::size_t to = from;
    while (to < lines.size() &&
           file.lines[lines[to]].record.board == file.lines[lines[from]].record.board)
        ++to;
    return to;
}

Place add_record(ScoresFile& file, const GameRecord& record) {
    ScoreLine line;
    line.known = true;
    line.record = record;
    file.lines.push_back(line);

    std::vector<std::size_t> lines = ranked_lines(file, record.board);
    Place place;
    place.of = static_cast<int>(lines.size());
    place.place = static_cast<int>(std::find(lines.begin(), lines.end(), file.lines.size() - 1) -
                                   lines.begin()) +
                  1;
    place.best = file.lines[lines.front()].record;

    if (lines.size() > static_cast<std::size_t>(kept_per_board)) {
        std::vector<bool> dropped(file.lines.size(), false);
        for (std::size_t i = kept_per_board; i < lines.size(); ++i) dropped[lines[i]] = true;
        drop_lines(file, dropped);
    }
    return place;
}

int make_room(ScoresFile& file) {
    std::size_t size = (file.header.empty() ? default_header() : file.header).size() + 1;
    for (const ScoreLine& line : file.lines) size += size_in_file(line);
    if (size <= static_cast<std::size_t>(max_scores_bytes) || file.lines.empty()) return 0;

    std::vector<bool> kept(file.lines.size(), false), dropped(file.lines.size(), false);
    std::vector<std::size_t> lines = ranked_boards(file);
    for (std::size_t from = 0, to; from < lines.size(); from = to) {
        to = board_end(file, lines, from);
        for (std::size_t i = from; i < to && i < from + kept_when_full; ++i) kept[lines[i]] = true;
    }
    kept.back() = true; // the game just played: its place was told among the others
    int count = 0;
    for (std::size_t i = 0;
         i < file.lines.size() && size > static_cast<std::size_t>(trimmed_scores_bytes); ++i)
        if (file.lines[i].known && !kept[i]) {
            size -= size_in_file(file.lines[i]);
            dropped[i] = true;
            ++count;
        }
    drop_lines(file, dropped);
    return count;
}

std::string board_identity(const unsigned char* cells, int count) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (int i = 0; i < count; ++i) hash = (hash ^ cells[i]) * 0x100000001b3u;
    char hex[board_digits + 1];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}
