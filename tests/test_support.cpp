#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "game/loop.h"
#include "game/startup.h"

std::vector<std::string> walled_board() {
    std::vector<std::string> board(board_size, "X" + std::string(board_size - 2, ' ') + "X");
    board.front() = board.back() = std::string(board_size, 'X');
    return board;
}

void set_cell(std::vector<std::string>& board, int col, int row, char c) {
    board[row][col] = c;
}

std::string map_text(const std::vector<std::string>& board) {
    std::string text;
    for (const auto& row : board) text += row + "\n";
    return text;
}

std::filesystem::path new_temp_dir(const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto dir = std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
        if (std::filesystem::create_directory(dir)) return dir; // false: it was there already
    }
    throw std::runtime_error("no new temporary directory");
}

namespace {
// Every test's state folders, removed when the tests end.
struct StateHomes {
    std::filesystem::path dir = new_temp_dir("dotmaze-state-");
    int made = 0;
    ~StateHomes() {
        std::error_code error;
        std::filesystem::remove_all(dir, error);
    }
} state_homes;
} // namespace

void use_state_home(const std::filesystem::path& dir) {
#ifdef _WIN32
    _putenv_s("LOCALAPPDATA", dir.string().c_str());
#else
    setenv("XDG_STATE_HOME", dir.c_str(), 1);
#endif
}

std::filesystem::path fresh_state_home() {
    auto dir = state_homes.dir / std::to_string(++state_homes.made);
    std::filesystem::create_directory(dir);
    use_state_home(dir);
    return dir;
}

// Before any test: the games that end are recorded, never in the real home.
static const std::filesystem::path first_state_home = fresh_state_home();

long process_id() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

void take_temporary_names(const std::filesystem::path& file) {
    for (int attempt = 0; attempt < 100; ++attempt)
        std::ofstream(file.string() + ".new-" + std::to_string(process_id()) + "-" +
                      std::to_string(attempt));
}

std::FILE* file_with(const std::string& bytes) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) throw std::runtime_error("no temporary file");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

Game& start_on(const std::string& map_bytes) {
    static Game game;
    fake::reset();
    start_game(game, file_with(map_bytes));
    return game;
}

Ending play_until(Game& g, long long until_ms) {
    fake::console.deadline_ms = until_ms;
    try {
        Ending ending;
        while ((ending = run_pass(g)) == Ending::none) {}
        return ending;
    } catch (const fake::TimeUp&) { return Ending::none; }
}
