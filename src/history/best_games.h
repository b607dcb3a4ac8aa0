// The best games: the ranking and the scores file's text format. Pure code over plain data;
// finding, locking and replacing the file is scores.cpp's business, through the platform.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One finished game on one map.
struct GameRecord {
    std::string map;   // the map's name as the player gave it
    std::string board; // the board's identity: the same under any name, see board_identity
    bool won = false;
    int dots = 0, total = 0;  // dots eaten, of the dots on the board
    int lives = 0;            // lives left
    std::int64_t time_ms = 0; // play time on the game's clock
    std::string date;         // when it ended, local time: "2026-12-08T07:28:08"
};

// A line of the file: a record this version reads, or lines it keeps exactly as found (damaged
// lines, or a newer version's) and leaves out of the rankings. A run of such lines is one span
// of text, so that a damaged file costs about its own size, however short its lines.
struct ScoreLine {
    bool known = false;
    GameRecord record; // when known
    std::string text;  // when not: the lines as found, a line feed between them, none after
};

struct ScoresFile {
    std::string header; // the first line: the format and its version
    std::vector<ScoreLine> lines;
};

constexpr int scores_format = 1;
// Past this many records on a board, the lowest go when the file is rewritten.
constexpr int kept_per_board = 100;
// Like a map, a scores file this big is refused rather than read or rewritten.
constexpr long max_scores_bytes = 1L << 20;
// A file that would grow past max_scores_bytes keeps every board's ten best games and drops its
// oldest others until it is down to this: room for some hundreds of games before it is full
// again, so that the player hears of it seldom.
constexpr int kept_when_full = 10;
constexpr long trimmed_scores_bytes = max_scores_bytes - max_scores_bytes / 16;

ScoresFile parse_scores(const std::string& text);
std::string format_scores(const ScoresFile& file);

// Where a game stands among those on its board: `place` counts from 1.
struct Place {
    int place = 0, of = 0;
    GameRecord best;
    int dropped = 0; // old games the file let go to make room for this one
};

// Wins before losses; wins by the shorter time, then by more lives left; losses by more dots.
bool ranks_before(const GameRecord& a, const GameRecord& b);
// The lines of `file` that hold `board`'s records, best first; equal games in the order played.
std::vector<std::size_t> ranked_lines(const ScoresFile& file, const std::string& board);
// The lines of every record, board after board in the order of their identities, each board's
// best first: a board's lines run from `from` to its board_end.
std::vector<std::size_t> ranked_boards(const ScoresFile& file);
std::size_t board_end(const ScoresFile& file, const std::vector<std::size_t>& lines,
                      std::size_t from);
// Adds `record` after the others and drops what falls past kept_per_board on its board.
// Returns its place among the games on its board, itself included.
Place add_record(ScoresFile& file, const GameRecord& record);
// When `file` would be larger than max_scores_bytes: drops its oldest records that are not among
// their board's kept_when_full best, never the newest, until it is down to trimmed_scores_bytes
// or no more may go. The lines this version cannot read stay. Returns how many records went.
int make_room(ScoresFile& file);

// FNV-1a (64 bits) of the cells, in hex: a renamed copy of a board is the same board.
std::string board_identity(const unsigned char* cells, int count);

// "2:31.4": minutes, seconds and tenths.
std::string play_time_text(std::int64_t ms);
// "mapa.txt: won in 2:31.4, 3 lives left: 2nd of 7 (best 2:12.9)", and the games dropped to
// make room for it, if any. Names are shown as shown_name shows them.
std::string place_line(const GameRecord& record, const Place& place);
// "mapa.txt: lost with 57 of 120 dots: not saved: <why>".
std::string not_saved_line(const GameRecord& record, const std::string& why);

// The best `count` games of each board, as aligned tables: `board` alone under the heading
// `name`; for an empty `board`, every board under the name it was last played as, or, given a
// `name`, every board's games played under that name.
std::string best_games_table(const ScoresFile& file, const std::string& board,
                             const std::string& name, int count);
// The same handed to `put` a board at a time, as each is made: a file can hold tens of thousands
// of boards, whose tables together take some times the file's size.
void put_best_games(const ScoresFile& file, const std::string& board, const std::string& name,
                    int count, const std::function<void(const std::string&)>& put);
