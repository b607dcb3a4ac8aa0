#include "run/run.h"

#include <cstring>
#include <string>

#include "console/buffer.h"
#include "console/inputs.h"
#include "console/platform.h"
#include "game/loop.h"
#include "game/map_reader.h"
#include "game/player.h"
#include "game/startup.h"
#include "history/replay.h"
#include "history/scores.h"

namespace {

constexpr int next_map_wait_ms = 2000;
constexpr int next_map_poll_ms = 40;

// The map as the player knows it: its file name without the folders.
const char* base_name(const char* path) {
    const char* base = path;
    for (const char* at = path; *at != '\0'; ++at)
        if (*at == '/' || *at == '\\') base = at + 1;
    return base;
}

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
    std::snprintf(line, sizeof line, "\nNext: %s (%d of %d)", base_name(map_name), number, count);
    print_text(line);
    if (escape_among_waiting_keys()) return false;
    for (std::int64_t shown = clock_ms(); clock_ms() - shown < next_map_wait_ms;) {
        if (key_waiting()) return !escape_among_waiting_keys();
        sleep_ms(next_map_poll_ms);
    }
    return true;
}

// The maps in turn, the lives left on each map won carried to the next. Returns the ending
// of the game: a game over or an Escape on any map, or the last map won. With `places` (a
// game played, not replayed) each map won or lost is recorded at once, so that a Ctrl-C on a
// later one does not lose it, and the line that tells its place goes into `places`, to be
// shown once the terminal is given back.
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

// ---- recording -----------------------------------------------------------------------------

const char* recording_name = nullptr;
Replay recording; // the maps and the version; the inputs are the tap's until the end

bool write_recording(const std::string& text) {
    char why[256];
    if (replace_file(recording_name, text.data(), static_cast<long>(text.size()), why, sizeof why))
        return true;
    std::fprintf(stderr, "dotmaze: cannot write the replay \"%s\": %s\n", recording_name, why);
    return false;
}

// A replay only ever takes the place of a replay, or of the empty file that stands for one
// being made: a map's name typed where the replay's goes (`--record mapa.txt`) would
// otherwise have the map played and then replaced by its replay.
bool replay_may_replace(const char* name, std::string& why) {
    if (!path_exists(name)) return true;
    if (is_folder(name)) {
        why = "it is a folder";
        return false;
    }
    char reason[256];
    std::FILE* file = open_regular_file(name, max_replay_bytes, reason, sizeof reason);
    if (file == nullptr) {
        why = reason;
        return false;
    }
    char start[sizeof replay_first_words - 1];
    std::size_t got = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    if (got == 0 || (got == sizeof start && std::memcmp(start, replay_first_words, got) == 0))
        return true;
    why = "it holds something other than a replay, and would be replaced";
    return false;
}

// The whole game, ended as `ending` (for "signal", by signal `sig`).
bool write_recording(const char* ending, int sig) {
    recording.tape = finish_recording();
    recording.tape.ending = ending;
    recording.tape.signal = sig;
    return write_recording(replay_text(recording));
}

// A quit signal has no ending of its own in the rules: the end line names the signal.
void save_recording_on_quit(int sig) {
    write_recording("signal", sig);
}

// ---- replaying -----------------------------------------------------------------------------

bool load_replay(const char* name, Replay& replay) {
    char why[256];
    std::FILE* file = open_regular_file(name, max_replay_bytes, why, sizeof why);
    if (file == nullptr) {
        std::fprintf(stderr, "dotmaze: cannot open the replay \"%s\": %s\n", name, why);
        return false;
    }
    std::string text;
    long total = read_to_limit(file, max_replay_bytes, &text);
    std::fclose(file);
    std::string fault;
    if (total < 0)
        fault = "it cannot be read";
    else if (total > max_replay_bytes)
        fault = "it is larger than a replay's limit of 16 MiB";
    else if (parse_replay(text, replay, fault))
        return true;
    std::fprintf(stderr, "dotmaze: replay \"%s\": %s\n", name, fault.c_str());
    return false;
}

} // namespace

const char* game_version() {
    return DOTMAZE_VERSION;
}

namespace {

// `folder` followed by `path`, where each "/.." that `path` starts with takes the last name
// off `folder` instead, so that the player reads a plain path. False when it does not fit.
bool join(char* out, int out_size, const char* folder, const char* path) {
    if (std::snprintf(out, out_size, "%s", folder) >= out_size) return false;
    for (; std::strncmp(path, "/../", 4) == 0; path += 3) {
        char* last = std::strrchr(out, '/');
        if (last == nullptr) return false;
        *last = '\0';
    }
    int length = static_cast<int>(std::strlen(out));
    return std::snprintf(out + length, out_size - length, "%s", path) < out_size - length;
}

} // namespace

const char* shipped_maps_dir() {
    static char found[1024];
    char program[sizeof found];
    bool program_known = program_folder(program, sizeof program);
    if (program_known && join(found, sizeof found, program, DOTMAZE_MAPS_FROM_PROGRAM) &&
        is_folder(found))
        return found;
#ifdef DOTMAZE_INSTALLED_MAPS_DIR
    if (is_folder(DOTMAZE_INSTALLED_MAPS_DIR)) return DOTMAZE_INSTALLED_MAPS_DIR;
#endif
#ifdef DOTMAZE_BUILD_DIR
    // Only a game run where it was built (or a test of it) may send the player into its sources.
    std::size_t build_length = std::strlen(DOTMAZE_BUILD_DIR);
    if (program_known && std::strncmp(program, DOTMAZE_BUILD_DIR, build_length) == 0 &&
        (program[build_length] == '\0' || program[build_length] == '/') &&
        is_folder(DOTMAZE_SOURCE_MAPS_DIR))
        return DOTMAZE_SOURCE_MAPS_DIR;
#endif
    return nullptr;
}

std::FILE* open_map_or_report(const char* map_name) {
    char why[256];
    const char* name = map_name != nullptr ? map_name : map_file_name;
    std::FILE* map = open_map(name, why, sizeof why);
    if (map != nullptr) return map;

    if (map_name != nullptr) {
        std::fprintf(stderr, "dotmaze: cannot open \"%s\": %s\n", name, why);
        return nullptr;
    }
    char dir[4096];
    if (!current_folder(dir, sizeof dir)) std::snprintf(dir, sizeof dir, "(unknown)");
    std::fprintf(stderr, "dotmaze: cannot open \"%s\" in the current directory %s: %s\n", name, dir,
                 why);
    // A player who started the game somewhere without a map most likely wants one of ours.
    const char* maps = shipped_maps_dir();
    if (maps != nullptr && !path_exists(name))
        std::fprintf(stderr, "To play a map that comes with the game: dotmaze %s/%s\n", maps,
                     map_file_name);
    return nullptr;
}

MapResult play_map(Game& g, const Board& board, int lives, const char* label) {
    start_game(g, board, lives, label);
    std::int64_t began = g.start;
    Ending ending = run_loop(g);
    return {ending, g.lives, g.score, g.max, clock_ms() - began};
}

int run_game(Game& g, const char* map_name) {
    return run_game(g, std::vector<const char*>{map_name});
}

int run_game(Game& g, const std::vector<const char*>& map_names) {
    return record_game(g, nullptr, map_names);
}

int record_game(Game& g, const char* replay_name, const std::vector<const char*>& map_names) {
    std::vector<const char*> names = map_names;
    if (names.empty()) names.push_back(nullptr);
    // The maps first: a missing one should leave the terminal untouched.
    std::vector<Board> boards(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::FILE* map = open_map_or_report(names[i]);
        if (map == nullptr) return 1;
        read_board(boards[i], map);
    }
    recording_name = replay_name;
    // A replay that cannot be written is better found out before the game than after it; but
    // one already there is kept until the new one replaces it.
    std::string refusal;
    if (replay_name != nullptr && !replay_may_replace(replay_name, refusal)) {
        std::fprintf(stderr, "dotmaze: cannot write the replay \"%s\": %s\n", replay_name,
                     refusal.c_str());
        return 1;
    }
    bool placeholder = replay_name != nullptr && !path_exists(replay_name);
    if (placeholder && !write_recording("")) return 1;
    if (!open_console_or_report()) {
        if (placeholder) std::remove(replay_name); // nothing was played: nothing to keep
        return 1;
    }

    if (replay_name != nullptr) {
        start_recording(&g.kursor[0][0]);
        recording = Replay{};
        recording.game_version = game_version();
        for (std::size_t i = 0; i < names.size(); ++i)
            add_board(recording, names[i] != nullptr ? names[i] : map_file_name, boards[i].cells);
        call_before_quitting(save_recording_on_quit);
    }
    std::vector<std::string> places;
    Ending ending = play_maps(g, names, boards, &places);
    console_close();

    bool saved = true;
    if (replay_name != nullptr) {
        call_before_quitting(nullptr);
        saved = write_recording(ending_name(ending), 0);
        stop_tap();
    }
    leave_ending_words(ending);
    // Under them, each map's place; on a console of one screen the ending's words still end
    // the last line.
    if (!console_close_restores_screen() && !places.empty()) std::putchar('\n');
    for (const std::string& place : places) std::puts(place.c_str());
    return saved ? 0 : 1;
}

int replay_game(Game& g, const char* replay_name, int speed) {
    static Replay replay; // kept off the stack, as the game is
    if (!load_replay(replay_name, replay)) return 1;
    std::vector<const char*> names;
    std::vector<Board> boards(replay.boards.size());
    for (std::size_t i = 0; i < boards.size(); ++i) {
        names.push_back(replay.map_names[i].c_str());
        std::memcpy(boards[i].cells, replay.boards[i].data(), board_size * board_size);
    }
    if (!open_console_or_report()) return 1;

    Ending ending = Ending::none;
    int signal = 0;
    std::string fault;
    start_replay(replay.tape, &g.kursor[0][0], speed);
    try {
        ending = play_maps(g, names, boards, nullptr); // a game shown again is not played again
        finish_replay(ending_name(ending));
    } catch (const ReplayStopped& stop) {
        ending = Ending::none;
        signal = stop.signal;
    } catch (const ReplayFault& drift) { fault = drift.what; }
    stop_tap();
    console_close();

    if (!fault.empty()) {
        std::fprintf(stderr, "dotmaze: replay \"%s\": %s", replay_name, fault.c_str());
        if (replay.game_version != game_version())
            std::fprintf(stderr, " (it was recorded by dotmaze %s, this is %s)",
                         replay.game_version.c_str(), game_version());
        std::fputc('\n', stderr);
        return 1;
    }
    leave_ending_words(ending);
    if (signal != 0) std::printf("The recorded game was ended here by signal %d.\n", signal);
    return 0;
}
