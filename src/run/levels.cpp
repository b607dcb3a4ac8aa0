// The maps of a game in turn, the lives left on each map won carried to the next: what a
// game played, recorded and replayed have in common.
#include "run/levels.h"

#include <cstdio>
#include <ctime>

#include "console/buffer.h"
#include "console/platform.h"
#include "game/lives.h"
#include "game/loop.h"
#include "game/map_reader.h"
#include "game/player.h"
#include "game/startup.h"
#include "history/names.h"
#include "history/scores.h"
#include "run/run.h"

namespace {

constexpr int next_map_wait_ms = 2000;
constexpr int next_map_poll_ms = 40;

// "corridors.txt  2/5", the name cut short where it would push the place out of sight.
void make_map_label(char (&label)[map_label_cols + 1], const char* map_name, int number,
                    int count) {
    char place[32];
    int place_length = std::snprintf(place, sizeof place, "  %d/%d", number, count);
    std::snprintf(label, sizeof label, "%.*s%s", map_label_cols - place_length, base_name(map_name),
                  place);
}

// Reads every key waiting; true when one of them is Escape.
bool escape_among_waiting_keys() {
    bool escape = false;
    while (key_waiting()) escape = (read_key() & 0xFF) == key_escape || escape;
    return escape;
}

// Under the "Well done!" of a map won: what comes next, for about two seconds or until a key.
// Keys typed before these words showed do not answer them, but an Escape among them, like
// one typed now, ends the game: then this returns false.
bool announce_next_map(const char* map_name, int number, int count) {
    char line[512];
    std::snprintf(line, sizeof line, "\nNext: %s (%d of %d)",
                  shown_name(base_name(map_name)).c_str(), number, count);
    print_text(line);
    if (escape_among_waiting_keys()) return false;
    for (std::int64_t shown = clock_ms(); clock_ms() - shown < next_map_wait_ms;) {
        if (key_waiting()) return !escape_among_waiting_keys();
        sleep_ms(next_map_poll_ms);
    }
    return true;
}

// The date for a person reading the file, in the time of the place where they played.
std::string local_date_now() {
    std::time_t now = std::time(nullptr);
    char date[32] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", local);
    return date[0] != '\0' ? date : "unknown";
}

// The record of a map just won or lost, `board` as read from the file `map_name`, dated now.
GameRecord finished_game(const char* map_name, const Board& board, const MapResult& result) {
    GameRecord r;
    r.map = map_name;
    r.board = board_identity(&board.cells[0][0], board_size * board_size);
    r.won = result.ending == Ending::won;
    r.dots = result.dots_eaten;
    r.total = result.dots;
    r.lives = result.lives;
    // The play ends with the last move; the pause that shows the ending's words is not play.
    r.time_ms = result.play_ms - (r.won ? win_pause_ms : game_over_pause_ms);
    r.date = local_date_now();
    return r;
}

// The maps in turn, the lives left on each map won carried to the next. Returns the ending
// of the game: a game over or an Escape on any map, or the last map won. With `places` (a
// game played, not replayed) each map won or lost is recorded at once, so that a Ctrl-C on a
// later one does not lose it, and the line that tells its place goes into `places`, to be
// shown once the terminal is given back.
} // namespace

Ending play_maps(Game& g, const std::vector<const char*>& names, const std::vector<Board>& boards,
                 std::vector<std::string>* places) {
    int count = static_cast<int>(boards.size());
    int lives = starting_lives;
    for (int i = 0;; ++i) {
        char label[map_label_cols + 1] = "";
        if (count > 1) make_map_label(label, names[i], i + 1, count);
        MapResult result = play_map(g, boards[i], lives, label);
        if (places != nullptr && result.ending != Ending::escape)
            places->push_back(remember_game(
                finished_game(names[i] != nullptr ? names[i] : map_file_name, boards[i], result)));
        if (result.ending != Ending::won || i + 1 == count) return result.ending;
        if (!announce_next_map(names[i + 1], i + 2, count)) return Ending::escape;
        lives = result.lives;
    }
}

bool read_maps(std::vector<const char*>& names, std::vector<Board>& boards) {
    if (names.empty()) names.push_back(nullptr);
    boards.assign(names.size(), Board{});
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::FILE* map = open_map_or_report(names[i]);
        if (map == nullptr) return false;
        read_board(boards[i], map);
    }
    return true;
}

bool open_console_or_report() {
    char why[256];
    if (console_open(why, sizeof why)) return true;
    std::fprintf(stderr, "dotmaze: %s\n", why);
    return false;
}

// Where closing brought back the terminal's own screen, the ending's words went with the
// game's; leave them on it.
void leave_ending_words(Ending ending) {
    if (!console_close_restores_screen()) return;
    if (ending == Ending::won) std::puts("Well done!");
    if (ending == Ending::game_over) std::puts("GAME OVER!");
}

MapResult play_map(Game& g, const Board& board, int lives, const char* label) {
    start_game(g, board, lives, label);
    std::int64_t began = g.start;
    Ending ending = run_loop(g);
    return {ending, g.lives, g.score, g.max, clock_ms() - began};
}
