// A replay watched: the file read strictly, then the game shown again from it, paced by its
// clock, the screen checked against it at every frame; or written as an asciicast.
#include <cstdio>
#include <cstring>
#include <string>

#include "console/inputs.h"
#include "console/platform.h"
#include "game/map_reader.h"
#include "history/names.h"
#include "history/replay.h"
#include "run/levels.h"
#include "run/run.h"
#include "run/showing.h"

namespace {

bool load_replay(const char* name, Replay& replay) {
    char why[256];
    std::FILE* file = open_regular_file(name, max_replay_bytes, why, sizeof why);
    if (file == nullptr) {
        std::fprintf(stderr, "dotmaze: cannot open the replay \"%s\": %s\n",
                     shown_name(name).c_str(), shown_name(why).c_str());
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
    std::fprintf(stderr, "dotmaze: replay \"%s\": %s\n", shown_name(name).c_str(), fault.c_str());
    return false;
}

// A replay refused while it plays: the frame, and the versions where they differ.
void report_fault(const char* replay_name, const Replay& replay, const std::string& fault) {
    std::fprintf(stderr, "dotmaze: replay \"%s\": %s", shown_name(replay_name).c_str(),
                 fault.c_str());
    if (replay.game_version != game_version())
        std::fprintf(stderr, " (it was recorded by dotmaze %s, this is %s)",
                     replay.game_version.c_str(), game_version());
    std::fputc('\n', stderr);
}

// The cast is made whole before anything is written: a drift writes nothing.
int cast_game(Game& g, const char* replay_name, const Replay& replay, const ReplayMaps& maps,
              int speed, const char* cast_name) {
    if (!cast_may_replace(cast_name)) return 1;
    std::string cast, fault;
    try {
        cast = cast_replay(g, replay, maps, speed);
    } catch (const ReplayFault& drift) { fault = drift.what; }
    stop_tap();
    if (!fault.empty()) {
        report_fault(replay_name, replay, fault);
        return 1;
    }
    return write_cast(cast_name, cast) ? 0 : 1;
}

} // namespace

int replay_game(Game& g, const char* replay_name, int speed, const char* cast_name) {
    static Replay replay; // kept off the stack, as the game is
    if (!load_replay(replay_name, replay)) return 1;
    ReplayMaps maps;
    maps.boards.resize(replay.boards.size());
    for (std::size_t i = 0; i < maps.boards.size(); ++i) {
        maps.names.push_back(replay.map_names[i].c_str());
        std::memcpy(maps.boards[i].cells, replay.boards[i].data(), board_size * board_size);
    }
    if (cast_name != nullptr) return cast_game(g, replay_name, replay, maps, speed, cast_name);
    if (!open_console_or_report()) return 1;

    Ending ending = Ending::none;
    int signal = 0;
    std::string fault;
    try {
        ending = view_replay(g, replay, maps, speed);
    } catch (const ReplayStopped& stop) {
        ending = Ending::none;
        signal = stop.signal;
    } catch (const ReplayFault& drift) { fault = drift.what; }
    stop_tap();
    console_close();

    if (!fault.empty()) {
        report_fault(replay_name, replay, fault);
        return 1;
    }
    leave_ending_words(ending);
    if (signal != 0) std::printf("The recorded game was ended here by signal %d.\n", signal);
    return 0;
}
