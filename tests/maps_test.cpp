// Every map we ship has to be playable: a closed border so nothing walks off the board, free
// cells where the player and the mobs start and along the patroller's route, and no dot the
// player could never eat (the game is only won once every dot is gone).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "game/map_reader.h"

namespace fs = std::filesystem;

namespace {

struct LoadedMap {
    std::string name;
    unsigned char mapa[map_rows][board_size];
    bool wall_at(int x, int y) const { return mapa[y][x] == wall; }
};

std::vector<fs::path> map_paths() {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(MAPS_DIR))
        if (entry.is_regular_file() && entry.path().filename().string().ends_with(".txt"))
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Read through the game's own reader, so the checks see exactly the board the game would play.
std::vector<LoadedMap> load_maps() {
    std::vector<LoadedMap> maps;
    for (const auto& path : map_paths()) {
        LoadedMap& map = maps.emplace_back();
        map.name = path.filename().string();
        std::memset(map.mapa, 0, sizeof map.mapa);
        std::FILE* file = std::fopen(path.string().c_str(), "rb");
        if (file == nullptr) {
            ADD_FAILURE() << map.name << ": cannot be opened";
            maps.pop_back();
            continue;
        }
        read_map(map.mapa, file);
    }
    return maps;
}

} // namespace

TEST(Maps, DirectoryHoldsTheShippedMap) {
    auto paths = map_paths();
    bool shipped =
        std::find(paths.begin(), paths.end(), fs::path(MAPS_DIR) / map_file_name) != paths.end();
    EXPECT_TRUE(shipped) << MAPS_DIR << " has no " << map_file_name;
}

TEST(Maps, BorderIsWallAndStartAndPatrolCellsAreOpen) {
    std::vector<std::pair<int, int>> must_be_open = {{1, 1}, {1, 3}, {1, 29}, {29, 29}};
    for (int x = 1; x <= 11; ++x) must_be_open.insert(must_be_open.end(), {{x, 3}, {x, 5}});
    for (int y = 3; y <= 5; ++y) must_be_open.insert(must_be_open.end(), {{1, y}, {11, y}});

    for (const auto& map : load_maps()) {
        for (int i = 0; i < board_size; ++i)
            for (auto [x, y] : {std::pair{i, 0}, {i, board_size - 1}, {0, i}, {board_size - 1, i}})
                EXPECT_TRUE(map.wall_at(x, y))
                    << map.name << ": border cell (" << x << ", " << y << ") is not wall";
        for (auto [x, y] : must_be_open)
            EXPECT_FALSE(map.wall_at(x, y))
                << map.name << ": cell (" << x << ", " << y << ") must not be wall";
    }
}

TEST(Maps, HasDotsAndEveryDotIsReachableFromTheStart) {
    for (const auto& map : load_maps()) {
        // Flood fill over 4-direction moves, the only moves the player has.
        bool reached[board_size][board_size] = {};
        std::vector<std::pair<int, int>> todo = {{start_x, start_y}};
        reached[start_y][start_x] = true;
        while (!todo.empty()) {
            auto [x, y] = todo.back();
            todo.pop_back();
            for (auto [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}})
                if (on_board(nx, ny) && !reached[ny][nx] && !map.wall_at(nx, ny)) {
                    reached[ny][nx] = true;
                    todo.push_back({nx, ny});
                }
        }

        int dots = 0;
        for (int y = 0; y < board_size; ++y)
            for (int x = 0; x < board_size; ++x)
                if (map.mapa[y][x] == dot) {
                    ++dots;
                    EXPECT_TRUE(reached[y][x]) << map.name << ": the dot at (" << x << ", " << y
                                               << ") cannot be reached from the start";
                }
        EXPECT_GT(dots, 0) << map.name << ": has no dots, so there is nothing to win";
    }
}
