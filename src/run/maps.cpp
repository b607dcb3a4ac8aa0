// Where the game's maps are: the one a player names opened, with a hint when it is not
// there, and the folder of the maps that come with the game found from where the game is.
#include <cstdio>
#include <cstring>
#include <string>

#include "console/platform.h"
#include "game/map_reader.h"
#include "history/names.h"
#include "run/run.h"

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

    // The reason may name a file too: the target of a link.
    std::string shown = shown_name(name), reason = shown_name(why);
    if (map_name != nullptr) {
        std::fprintf(stderr, "dotmaze: cannot open \"%s\": %s\n", shown.c_str(), reason.c_str());
        return nullptr;
    }
    char dir[4096];
    if (!current_folder(dir, sizeof dir)) std::snprintf(dir, sizeof dir, "(unknown)");
    std::fprintf(stderr, "dotmaze: cannot open \"%s\" in the current directory %s: %s\n",
                 shown.c_str(), shown_name(dir).c_str(), reason.c_str());
    // A player who started the game somewhere without a map most likely wants one of ours.
    const char* maps = shipped_maps_dir();
    if (maps != nullptr && !path_exists(name))
        std::fprintf(stderr, "To play a map that comes with the game: dotmaze %s/%s\n",
                     shown_name(maps).c_str(), map_file_name);
    return nullptr;
}
