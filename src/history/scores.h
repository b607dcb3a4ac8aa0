// The player's scores file: found, locked, read and replaced through the platform's file
// services, so that games ending at once, or a crash while saving, lose no record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "history/best_games.h"

// Adds `record` to the player's scores file and returns the line that tells its place; or,
// when the file cannot be read or written, the line that says it was not saved and why.
std::string remember_game(const GameRecord& record);

// The player's scores file as it stands, or false and why it cannot be read. Not there yet, it
// holds no games.
bool load_scores(ScoresFile& file, std::string& why);

// Where the scores file is, as the help tells it.
const char* scores_file_shown();

// dotmaze --scores [MAP...]: prints the best ten games on each map named, or on every map
// played when none is. Returns the exit status: 1, with the reason on stderr, when the scores
// cannot be read.
int show_best_games(const std::vector<const char*>& map_names);
