// What the run's files share: the maps of a game read and played in turn.
#pragma once

#include <string>
#include <vector>

#include "game/state.h"

// Every map of a game read before the terminal is touched, so that a missing one leaves it
// untouched. None named means "mapa.txt" in the current directory: `names` then holds one
// nullptr. False, with the reason on stderr, when a map cannot be opened.
bool read_maps(std::vector<const char*>& names, std::vector<Board>& boards);

// The maps in turn, the lives left on each map won carried to the next. Returns the ending
// of the game: a game over or an Escape on any map, or the last map won. With `places` (a
// game played, not replayed) each map won or lost is recorded at once, so that a Ctrl-C on a
// later one does not lose it, and the line that tells its place goes into `places`, to be
// shown once the terminal is given back.
Ending play_maps(Game& g, const std::vector<const char*>& names, const std::vector<Board>& boards,
                 std::vector<std::string>* places);

// Where closing brought back the terminal's own screen, the ending's words went with the
// game's; prints them again.
void leave_ending_words(Ending ending);
