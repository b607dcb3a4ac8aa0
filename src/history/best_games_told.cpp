// The best games as the player reads them: the line after each game and the tables of
// --scores. Every name in them goes through shown_name: a map's name is its maker's bytes.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <span>

#include "history/best_games.h"
#include "history/names.h"

namespace {

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

// The first `count` of a board's `lines`, ranked.
std::string board_table(const ScoresFile& file, std::span<const std::size_t> lines, int count) {
    std::vector<std::vector<std::string>> rows{{"#", "result", "time", "lives", "dots", "date"}};
    for (std::size_t i = 0; i < lines.size() && i < static_cast<std::size_t>(count); ++i) {
        const GameRecord& r = file.lines[lines[i]].record;
        rows.push_back({std::to_string(i + 1), r.won ? "won" : "lost", play_time_text(r.time_ms),
                        std::to_string(r.lives),
                        std::to_string(r.dots) + "/" + std::to_string(r.total),
                        shown_name(short_date(r.date))});
    }
    return aligned(rows, {true, false, true, true, true, false});
}

} // namespace

std::string play_time_text(std::int64_t ms) {
    long long tenths = ms < 0 ? 0 : ms / 100;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths / 10 % 60,
                  tenths % 10);
    return text;
}

std::string place_line(const GameRecord& record, const Place& place) {
    std::string line = shown_name(record.map) + ": " + result_text(record) + ": " +
                       ordinal(place.place) + " of " + std::to_string(place.of);
    if (place.place > 1) line += " (best " + measure_text(place.best) + ")";
    std::string best = std::to_string(kept_when_full) + " best";
    if (place.dropped == 1)
        line += "; the scores file reached 1 MiB, so its oldest game not among its map's " + best +
                " was dropped";
    if (place.dropped > 1)
        line += "; the scores file reached 1 MiB, so its " + std::to_string(place.dropped) +
                " oldest games not among their map's " + best + " were dropped";
    return line;
}

std::string not_saved_line(const GameRecord& record, const std::string& why) {
    return shown_name(record.map) + ": " + result_text(record) + ": not saved: " + shown_name(why);
}

void put_best_games(const ScoresFile& file, const std::string& board, const std::string& name,
                    int count, const std::function<void(const std::string&)>& put) {
    if (!board.empty()) {
        std::vector<std::size_t> lines = ranked_lines(file, board);
        put(lines.empty() ? "No games recorded on " + shown_name(name) + ".\n"
                          : shown_name(name) + "\n" + board_table(file, lines, count));
        return;
    }
    // Each board under the name it was last played as, in the order of those names; a name
    // that two boards share is told apart by the board's identity.
    std::vector<std::size_t> lines = ranked_boards(file);
    if (!name.empty()) {
        std::erase_if(lines, [&](std::size_t line) { return file.lines[line].record.map != name; });
        if (lines.empty()) return put("No games recorded on " + shown_name(name) + ".\n");
    }
    struct Board {
        std::size_t from, to, last; // its run of `lines`, and the last line it was played in
    };
    std::vector<Board> boards;
    for (std::size_t from = 0, to; from < lines.size(); from = to) {
        to = board_end(file, lines, from);
        boards.push_back({from, to, *std::max_element(&lines[from], &lines[0] + to)});
    }
    auto name_of = [&](std::size_t b) -> const std::string& {
        return file.lines[boards[b].last].record.map;
    };
    std::vector<std::size_t> order(boards.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return name_of(a) < name_of(b); });
    std::vector<bool> shared(boards.size(), false);
    for (std::size_t i = 1; i < order.size(); ++i)
        if (name_of(order[i - 1]) == name_of(order[i]))
            shared[order[i - 1]] = shared[order[i]] = true;
    // Made when needed rather than kept: a file can hold some tens of thousands of boards.
    auto heading = [&](std::size_t b) {
        if (!shared[b]) return name_of(b);
        return name_of(b) + " (board " + file.lines[boards[b].last].record.board + ")";
    };
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return heading(a) < heading(b); });
    if (order.empty()) put("No games recorded yet.\n");
    for (std::size_t b : order) {
        std::string part = b == order.front() ? "" : "\n";
        ((part += shown_name(heading(b))) += '\n') +=
            board_table(file, std::span(&lines[boards[b].from], &lines[0] + boards[b].to), count);
        put(part);
    }
}

std::string best_games_table(const ScoresFile& file, const std::string& board,
                             const std::string& name, int count) {
    std::string text;
    put_best_games(file, board, name, count, [&](const std::string& part) { text += part; });
    return text;
}
