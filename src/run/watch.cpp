// A replay watched: the file read strictly, then the game shown again from it, paced by its
// clock, the screen checked against it at every frame.
#include <cstdio>
#include <cstring>
#include <string>

#include "console/inputs.h"
#include "console/platform.h"
#include "game/map_reader.h"
#include "history/replay.h"
#include "run/levels.h"
#include "run/run.h"

namespace {

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
