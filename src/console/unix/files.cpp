// The file services on Unix: POSIX calls only.
#include "console/platform.h"

// ---- opening what the player names ---------------------------------------------------------

std::FILE* open_regular_file(const char* name, long limit, char* why, int why_size) {
    (void)name, (void)limit;
    std::snprintf(why, why_size, "not built yet");
    return nullptr;
}

bool path_exists(const char*) {
    return false;
}

bool is_folder(const char*) {
    return false;
}

bool current_folder(char*, int) {
    return false;
}

// ---- where the program is ------------------------------------------------------------------

bool program_folder(char*, int) {
    return false;
}

// ---- the game's own files ------------------------------------------------------------------

bool state_folder(char*, int, char* why, int why_size) {
    std::snprintf(why, why_size, "not built yet");
    return false;
}

int lock_file(const char*, char* why, int why_size) {
    std::snprintf(why, why_size, "not built yet");
    return -1;
}

void unlock_file(int) {}

bool replace_file(const char*, const char*, long, char* why, int why_size) {
    std::snprintf(why, why_size, "not built yet");
    return false;
}
