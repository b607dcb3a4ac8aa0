// A game played, and kept for a replay when asked: the replay file made ready before the game
// and written whole when it ends, however it ends.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "console/inputs.h"
#include "console/platform.h"
#include "game/map_reader.h"
#include "history/names.h"
#include "history/replay.h"
#include "run/levels.h"
#include "run/run.h"

namespace {

// ---- the replay file -------------------------------------------------------------------------

const char* recording_name = nullptr;
Replay recording; // the maps and the version; the inputs are the tap's until the end
// The empty file made to hold a new replay's place: removed when no replay takes it, so that
// a failed write leaves nothing that --replay would call cut short.
bool placeholder = false;

bool write_replay_file(const std::string& text) {
    char why[256];
    if (replace_file(recording_name, text.data(), static_cast<long>(text.size()), 0600, why,
                     sizeof why))
        return true;
    std::fprintf(stderr, "dotmaze: cannot write the replay \"%s\": %s\n",
                 shown_name(recording_name).c_str(), shown_name(why).c_str());
    return false;
}

void remove_placeholder() {
    if (placeholder) std::remove(recording_name);
    placeholder = false;
}

// A replay only ever takes the place of a replay, or of the empty file that stands for one
// being made: a map's name typed where the replay's goes (`--record mapa.txt`) would
// otherwise have the map played and then replaced by its replay.
bool replay_may_replace(const char* name, std::string& why) {
    if (!path_exists(name)) return true;
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
    bool written = false;
    try {
        recording.tape = finish_recording();
        recording.tape.ending = ending;
        recording.tape.signal = sig;
        written = write_replay_file(replay_text(recording));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "dotmaze: cannot write the replay \"%s\": out of memory\n",
                     shown_name(recording_name).c_str());
    }
    if (written)
        placeholder = false; // the replay has taken its place
    else
        remove_placeholder();
    return written;
}

// A quit signal has no ending of its own in the rules: the end line names the signal.
void save_recording_on_quit(int sig) {
    write_recording("signal", sig);
}

// A replay that cannot be written is better found out before the game than after it: a link to
// nothing, a file that is no replay, a folder closed to the new file. One already there is kept
// until the new one replaces it; a new one is held by an empty file until then.
bool make_way_for_replay(const char* replay_name) {
    char why[256];
    std::string refusal;
    if (is_folder(replay_name))
        refusal = "it is a folder";
    else if (!can_replace_file(replay_name, why, sizeof why))
        refusal = why;
    else if (replay_may_replace(replay_name, refusal))
        return path_exists(replay_name) || (placeholder = write_replay_file(""));
    std::fprintf(stderr, "dotmaze: cannot write the replay \"%s\": %s\n",
                 shown_name(replay_name).c_str(), shown_name(refusal).c_str());
    return false;
}

void begin_recording(Game& g, const std::vector<const char*>& names,
                     const std::vector<Board>& boards) {
    start_recording(&g.kursor[0][0]);
    recording = Replay{};
    recording.game_version = game_version();
    for (std::size_t i = 0; i < names.size(); ++i)
        add_board(recording, names[i] != nullptr ? names[i] : map_file_name, boards[i].cells);
    call_before_quitting(save_recording_on_quit);
}

// Once the terminal is given back. A game cut short by memory running out has no ending to
// write: the replay is not written, and a new one's place is given up.
bool end_recording(Ending ending, bool cut_short) {
    call_before_quitting(nullptr);
    bool saved = !cut_short && write_recording(ending_name(ending), 0);
    if (cut_short) remove_placeholder();
    stop_tap();
    return saved;
}

} // namespace

int run_game(Game& g, const char* map_name) {
    return run_game(g, std::vector<const char*>{map_name});
}

int run_game(Game& g, const std::vector<const char*>& map_names) {
    return record_game(g, nullptr, map_names);
}

int record_game(Game& g, const char* replay_name, const std::vector<const char*>& map_names) {
    std::vector<const char*> names = map_names;
    std::vector<Board> boards;
    if (!read_maps(names, boards)) return 1;
    recording_name = replay_name;
    placeholder = false;
    if (replay_name != nullptr && !make_way_for_replay(replay_name)) return 1;
    if (!open_console_or_report()) {
        remove_placeholder(); // nothing was played: nothing to keep
        return 1;
    }

    if (replay_name != nullptr) begin_recording(g, names, boards);
    std::vector<std::string> places;
    Ending ending = Ending::none;
    bool out_of_memory = false;
    // The rules hold nothing that needs undoing: the terminal is given back all the same.
    try {
        ending = play_maps(g, names, boards, &places);
    } catch (const std::bad_alloc&) { out_of_memory = true; }
    console_close();
    bool saved = replay_name == nullptr || end_recording(ending, out_of_memory);
    if (out_of_memory)
        std::fputs("dotmaze: out of memory: the game cannot go on\n", stderr);
    else
        leave_ending_words(ending);
    // Under them, each map's place; on a console of one screen the ending's words still end
    // the last line.
    if (!console_close_restores_screen() && !places.empty()) std::putchar('\n');
    for (const std::string& place : places) std::puts(place.c_str());
    return saved && !out_of_memory ? 0 : 1;
}
