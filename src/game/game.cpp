#include "game/game.h"

#include <cstdio>
#include <unistd.h>

#include "console/platform.h"
#include "game/loop.h"
#include "game/map_reader.h"
#include "game/startup.h"

namespace {

void report_map_failure(const char* why) {
    char dir[4096];
    if (getcwd(dir, sizeof dir) == nullptr) std::snprintf(dir, sizeof dir, "(unknown)");
    std::fprintf(stderr, "dotmaze: cannot open \"%s\" in the current directory %s: %s\n",
                 map_file_name, dir, why);
}

} // namespace

int run_game(Game& g) {
    char why[256];
    // The map first: a missing map should leave the terminal untouched.
    std::FILE* map = open_map(map_file_name, why, sizeof why);
    if (map == nullptr) {
        report_map_failure(why);
        return 1;
    }
    if (!console_open(why, sizeof why)) {
        std::fclose(map);
        std::fprintf(stderr, "dotmaze: %s\n", why);
        return 1;
    }

    start_game(g, map);
    Ending ending = run_loop(g);
    console_close();

    // The terminal's own screen is back now; leave the ending's words on it.
    if (ending == Ending::won) std::puts("Well done!");
    if (ending == Ending::game_over) std::puts("GAME OVER!");
    return 0;
}
