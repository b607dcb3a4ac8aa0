// Names from the player's files as the game prints them: a file's name is whatever bytes its
// maker chose, and the terminal it is printed on takes some of them as commands.
#pragma once

#include <string>
#include <string_view>

// `name` with every control character shown as \xHH ("esc\x1b[31m.txt"), so that no name can
// move the cursor, change the colours or clear the screen. The rest, UTF-8 included, as it is.
std::string shown_name(std::string_view name);

// The map as the player knows it: its file name without the folders.
const char* base_name(const char* path);
