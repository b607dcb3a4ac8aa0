// Building games for tests: maps from text, games started against the fake console.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "game/startup.h"
#include "game/state.h"

// 32 rows of 32 cells: wall all round, open floor inside, no dots. Edit it with set_cell.
std::vector<std::string> walled_board();
void set_cell(std::vector<std::string>& board, int col, int row, char c);
// The rows joined with a line feed after each.
std::string map_text(const std::vector<std::string>& board);

// A new, empty directory in the system's temporary directory, named `prefix` and a number.
std::filesystem::path new_temp_dir(const std::string& prefix);

// Points the game's state folder (XDG_STATE_HOME, or LOCALAPPDATA on Windows) at `dir`.
void use_state_home(const std::filesystem::path& dir);
// Points it at a new, empty scratch folder and returns that. The tests start with one, never
// the real home's.
std::filesystem::path fresh_state_home();

// This process's id, as the names of replace_file's new files hold it.
long process_id();
// Every name replace_file could give its new file beside `file` taken, so that it must fail.
void take_temporary_names(const std::filesystem::path& file);

// A read-only stream holding exactly `bytes`, as the map reader gets it.
std::FILE* file_with(const std::string& bytes);

// A game of one map started, as a run starts it, from the open map file.
inline void start_game(Game& g, std::FILE* map) {
    static Board board;
    read_board(board, map);
    start_game(g, board, starting_lives, "");
}

// Resets the fake console and starts a game on `map_bytes`. The game is a static, so a test
// holds at most one at a time.
Game& start_on(const std::string& map_bytes);

// Runs passes until the game ends or the virtual clock passes `until_ms`.
Ending play_until(Game& g, long long until_ms);
