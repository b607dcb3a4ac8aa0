#include "history/best_games.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

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

// The lines holding `board`'s records, best first; a stable sort keeps equal games in the
// order played, so that a new game ties behind the old ones.
std::vector<std::size_t> ranked_lines(const ScoresFile& file, const std::string& board) {
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < file.lines.size(); ++i)
        if (file.lines[i].known && file.lines[i].record.board == board) lines.push_back(i);
    std::stable_sort(lines.begin(), lines.end(), [&](std::size_t a, std::size_t b) {
        return ranks_before(file.lines[a].record, file.lines[b].record);
    });
    return lines;
}

// ---- telling it ----------------------------------------------------------------------------

std::string ordinal(int n) {
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13) {
        if (n % 10 == 1) suffix = "st";
        if (n % 10 == 2) suffix = "nd";
        if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

std::string result_text(const GameRecord& r) {
    if (!r.won)
        return "lost with " + std::to_string(r.dots) + " of " + std::to_string(r.total) + " dots";
    return "won in " + play_time_text(r.time_ms) + ", " + std::to_string(r.lives) +
           (r.lives == 1 ? " life left" : " lives left");
}

// What a game is measured by: its time for a win, its dots for a loss.
std::string measure_text(const GameRecord& r) {
    if (r.won) return play_time_text(r.time_ms);
    return std::to_string(r.dots) + " of " + std::to_string(r.total) + " dots";
}

// "2026-12-08T07:28:08" as "2026-12-08 07:28"; anything else as found.
std::string short_date(const std::string& date) {
    if (date.size() < 16 || date[10] != 'T') return date;
    return date.substr(0, 10) + " " + date.substr(11, 5);
}

// Rows of cells as columns padded to their widest cell, numbers to the right.
std::string aligned(const std::vector<std::vector<std::string>>& rows,
                    const std::vector<bool>& right) {
    std::vector<std::size_t> width(right.size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    std::string text;
    for (const auto& row : rows) {
        std::string line = " ";
        for (std::size_t c = 0; c < row.size(); ++c) {
            std::string pad(width[c] - row[c].size(), ' ');
            line += "  " + (right[c] ? pad + row[c] : row[c] + pad);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
    return text;
}

std::string board_table(const ScoresFile& file, const std::string& board, int count) {
    std::vector<std::vector<std::string>> rows{{"#", "result", "time", "lives", "dots", "date"}};
    std::vector<std::size_t> lines = ranked_lines(file, board);
    for (std::size_t i = 0; i < lines.size() && i < static_cast<std::size_t>(count); ++i) {
        const GameRecord& r = file.lines[lines[i]].record;
        rows.push_back({std::to_string(i + 1), r.won ? "won" : "lost", play_time_text(r.time_ms),
                        std::to_string(r.lives),
                        std::to_string(r.dots) + "/" + std::to_string(r.total),
                        short_date(r.date)});
    }
    return aligned(rows, {true, false, true, true, true, false});
}

} // namespace

// ---- the file ------------------------------------------------------------------------------

ScoresFile parse_scores(const std::string& text) {
    ScoresFile file;
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        // A newer version's header is kept as it is: rewriting it would claim its lines are ours.
        if (first && line.rfind(header_start, 0) == 0) {
            file.header = line;
        } else {
            ScoreLine entry;
            entry.known = parse_record(line, entry.record);
            if (!entry.known) entry.text = line;
            file.lines.push_back(entry);
        }
        first = false;
    }
    if (file.header.empty()) file.header = default_header();
    return file;
}

std::string format_scores(const ScoresFile& file) {
    std::string text = (file.header.empty() ? default_header() : file.header) + "\n";
    for (const ScoreLine& line : file.lines)
        text += (line.known ? record_text(line.record) : line.text) + "\n";
    return text;
}

// ---- ranking -------------------------------------------------------------------------------

bool ranks_before(const GameRecord& a, const GameRecord& b) {
    if (a.won != b.won) return a.won;
    if (!a.won) return a.dots > b.dots;
    if (a.time_ms != b.time_ms) return a.time_ms < b.time_ms;
    return a.lives > b.lives;
}

std::vector<GameRecord> ranked(const ScoresFile& file, const std::string& board) {
    std::vector<GameRecord> records;
    for (std::size_t line : ranked_lines(file, board)) records.push_back(file.lines[line].record);
    return records;
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
        std::set<std::size_t> dropped(lines.begin() + kept_per_board, lines.end());
        std::vector<ScoreLine> kept;
        for (std::size_t i = 0; i < file.lines.size(); ++i)
            if (dropped.count(i) == 0) kept.push_back(file.lines[i]);
        file.lines = kept;
    }
    return place;
}

std::string board_identity(const unsigned char* cells, int count) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (int i = 0; i < count; ++i) hash = (hash ^ cells[i]) * 0x100000001b3u;
    char hex[board_digits + 1];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

// ---- telling it ----------------------------------------------------------------------------

std::string play_time_text(std::int64_t ms) {
    long long tenths = ms < 0 ? 0 : ms / 100;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths / 10 % 60,
                  tenths % 10);
    return text;
}

std::string place_line(const GameRecord& record, const Place& place) {
    std::string line = record.map + ": " + result_text(record) + ": " + ordinal(place.place) +
                       " of " + std::to_string(place.of);
    if (place.place > 1) line += " (best " + measure_text(place.best) + ")";
    return line;
}

std::string not_saved_line(const GameRecord& record, const std::string& why) {
    return record.map + ": " + result_text(record) + ": not saved: " + why;
}

std::string best_games_table(const ScoresFile& file, const std::string& board,
                             const std::string& name, int count) {
    if (!board.empty()) {
        if (ranked_lines(file, board).empty()) return "No games recorded on " + name + ".\n";
        return name + "\n" + board_table(file, board, count);
    }
    // Each board under the name it was last played as, in the order of those names; a name
    // that two boards share is told apart by the board's identity.
    std::map<std::string, std::string> last_name; // board -> name
    std::map<std::string, int> boards_named;
    for (const ScoreLine& line : file.lines)
        if (line.known) last_name[line.record.board] = line.record.map;
    for (const auto& [id, map] : last_name) ++boards_named[map];
    std::vector<std::pair<std::string, std::string>> headings; // heading, board
    for (const auto& [id, map] : last_name)
        headings.push_back({boards_named[map] > 1 ? map + " (board " + id + ")" : map, id});
    std::sort(headings.begin(), headings.end());
    if (headings.empty()) return "No games recorded yet.\n";
    std::string text;
    for (const auto& [heading, id] : headings)
        text += (text.empty() ? "" : "\n") + heading + "\n" + board_table(file, id, count);
    return text;
}
