#include "game/game.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "console/platform.h"
#include "game/loop.h"
#include "game/map_reader.h"
#include "game/startup.h"

const char* game_version() {
    return DOTMAZE_VERSION;
}

const char* shipped_maps_dir() {
    std::error_code error;
    if (std::filesystem::is_directory(DOTMAZE_INSTALLED_MAPS_DIR, error))
        return DOTMAZE_INSTALLED_MAPS_DIR;
    return DOTMAZE_SOURCE_MAPS_DIR;
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
    if (!path_exists(name))
        std::fprintf(stderr, "To play a map that comes with the game: dotmaze %s/%s\n",
                     shipped_maps_dir(), map_file_name);
    return nullptr;
}

int run_game(Game& g, const char* map_name) {
    // The map first: a missing map should leave the terminal untouched.
    std::FILE* map = open_map_or_report(map_name);
    if (map == nullptr) return 1;
    char why[256];
    if (!console_open(why, sizeof why)) {
        std::fclose(map);
        std::fprintf(stderr, "dotmaze: %s\n", why);
        return 1;
    }

    start_game(g, map);
    Ending ending = run_loop(g);
    console_close();

    // Where closing brought back the terminal's own screen, the ending's words went with the
    // game's; leave them on it.
    if (console_close_restores_screen()) {
        if (ending == Ending::won) std::puts("Well done!");
        if (ending == Ending::game_over) std::puts("GAME OVER!");
    }
    return 0;
}
