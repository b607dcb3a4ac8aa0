#include "history/scores.h"

#include <cstdio>
#include <new>

#include "console/platform.h"
#include "game/map_reader.h"
#include "game/startup.h"
#include "history/names.h"

namespace {

constexpr int shown_games = 10;
// A save takes milliseconds: a lock held this long is stuck, and the player is kept waiting.
constexpr int lock_wait_ms = 2000;

#ifdef _WIN32
constexpr const char* scores_name = "\\scores.txt";
constexpr const char* lock_name = "\\scores.lock";
#else
constexpr const char* scores_name = "/scores";
constexpr const char* lock_name = "/scores.lock";
#endif

// The folder of the scores file, made when `make` asks, or false and why not.
bool scores_path(std::string& folder, bool make, std::string& why) {
    char path[4096], reason[512];
    if (!state_folder(path, sizeof path, make, reason, sizeof reason)) {
        why = std::string("no folder for the scores: ") + reason;
        return false;
    }
    folder = path;
    return true;
}

// The whole file into `text`, or false and why not. A file that is not there yet holds no
// games.
bool read_scores(const std::string& path, std::string& text, std::string& why) {
    text.clear();
    if (!path_exists(path.c_str())) return true;
    char reason[512];
    std::FILE* file = open_regular_file(path.c_str(), max_scores_bytes, reason, sizeof reason);
    if (file == nullptr) {
        why = "cannot read " + path + ": " + reason;
        return false;
    }
    long total = read_to_limit(file, max_scores_bytes, &text);
    std::fclose(file);
    if (total > max_scores_bytes) {
        why = path + " is larger than 1 MiB, too large to be a scores file: left as it is";
        return false;
    }
    if (total < 0) why = "cannot read " + path;
    return total >= 0;
}

// The record added to the file at `path`, read and rewritten whole.
bool add_to_file(const std::string& path, const GameRecord& record, Place& place,
                 std::string& why) {
    std::string text;
    if (!read_scores(path, text, why)) return false;
    ScoresFile file = parse_scores(text);
    std::string().swap(text); // a MiB that need not stay beside the file's new text
    place = add_record(file, record);
    place.dropped = make_room(file);
    text = format_scores(file);
    if (text.size() > static_cast<std::size_t>(max_scores_bytes)) {
        why = path + " would grow past 1 MiB";
        return false;
    }
    char reason[512];
    if (!replace_file(path.c_str(), text.data(), static_cast<long>(text.size()), 0600, reason,
                      sizeof reason)) {
        why = "cannot write " + path + ": " + reason;
        return false;
    }
    return true;
}

// Reads, adds and rewrites under the lock, so that a game ending at the same moment waits
// for this one's record to land and then adds its own to it. The lock is a file of its own:
// one on the scores file would go with the old file at the rename.
bool save(const GameRecord& record, Place& place, std::string& why) {
    std::string folder;
    if (!scores_path(folder, true, why)) return false;
    char reason[512];
    int lock = lock_file((folder + lock_name).c_str(), lock_wait_ms, reason, sizeof reason);
    if (lock == lock_busy) why = "the scores file is busy";
    if (lock == -1) why = "cannot lock " + folder + lock_name + ": " + reason;
    if (lock < 0) return false;
    bool saved = false;
    // Whatever runs out, the lock is let go: the next game's save would wait for it in vain.
    try {
        saved = add_to_file(folder + scores_name, record, place, why);
    } catch (const std::bad_alloc&) { why = "out of memory"; }
    unlock_file(lock);
    return saved;
}

// The identity of the board in the map file `name`, or false when it cannot be read.
bool board_of(const char* name, std::string& board) {
    char why[256];
    std::FILE* map = open_map(name, why, sizeof why);
    if (map == nullptr) return false;
    Board read{};
    read_board(read, map);
    board = board_identity(&read.cells[0][0], board_size * board_size);
    return true;
}

} // namespace

bool load_scores(ScoresFile& file, std::string& why) {
    std::string folder, text;
    // Only named: no file there means no games, and a read-only home changes nothing.
    if (!scores_path(folder, false, why)) return false;
    std::string path = folder + scores_name, lock_path = folder + lock_name;
    file = ScoresFile{};
    if (!path_exists(path.c_str())) return true;
    // On Windows a file open for reading cannot be replaced: a game saving meanwhile would
    // fail. Without the lock (busy, or in a read-only folder, where nobody saves either) read
    // all the same; and a lock file that is not there is not made.
    char reason[512];
    int lock = path_exists(lock_path.c_str())
                   ? lock_file(lock_path.c_str(), lock_wait_ms, reason, sizeof reason)
                   : -1;
    bool read = read_scores(path, text, why);
    if (lock >= 0) unlock_file(lock);
    if (read) file = parse_scores(text);
    return read;
}

const char* scores_file_shown() {
#ifdef _WIN32
    return "%LOCALAPPDATA%\\dotmaze\\scores.txt";
#else
    return "$XDG_STATE_HOME/dotmaze/scores, by default\n"
           "                 ~/.local/state/dotmaze/scores";
#endif
}

std::string remember_game(const GameRecord& record) {
    Place place;
    std::string why;
    if (!save(record, place, why)) return not_saved_line(record, why);
    return place_line(record, place);
}

int show_best_games(const std::vector<const char*>& map_names) {
    ScoresFile file;
    std::string why;
    if (!load_scores(file, why)) {
        std::fprintf(stderr, "dotmaze: cannot show the best games: %s\n", shown_name(why).c_str());
        return 1;
    }
    auto print = [](const std::string& part) { std::fputs(part.c_str(), stdout); };
    if (map_names.empty()) put_best_games(file, "", "", shown_games, print);
    for (std::size_t i = 0; i < map_names.size(); ++i) {
        const char* name = map_names[i];
        if (i > 0) std::putchar('\n');
        // A map that is gone, or was never here: the games played under its name.
        std::string board;
        put_best_games(file, board_of(name, board) ? board : "", name, shown_games, print);
    }
    return 0;
}
