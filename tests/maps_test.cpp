// Every map we ship has to pass the map checker with nothing to say: a closed border, free
// cells where the player and the mobs start and along the patroller's round, dots, and none
// the player could never eat (the game is only won once every dot is gone).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "check/check.h"
#include "game/map_reader.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> map_paths() {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(MAPS_DIR))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

TEST(Maps, DirectoryHoldsTheShippedMap) {
    auto paths = map_paths();
    bool shipped =
        std::find(paths.begin(), paths.end(), fs::path(MAPS_DIR) / map_file_name) != paths.end();
    EXPECT_TRUE(shipped) << MAPS_DIR << " has no " << map_file_name;
}

TEST(Maps, TheCheckerFindsNothingInAnyOfThem) {
    for (const auto& path : map_paths()) {
        std::string name = path.filename().string();
        char why[256];
        std::FILE* map = open_map(path.string().c_str(), why, sizeof why);
        ASSERT_NE(map, nullptr) << name << ": " << why;
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        int status = check_map(map, name.c_str(), out);

        std::rewind(out);
        std::string findings;
        char line[1024];
        while (std::fgets(line, sizeof line, out) != nullptr) {
            std::string text = line;
            if (text.starts_with("error:") || text.starts_with("warning:")) findings += text;
        }
        std::fclose(out);
        EXPECT_EQ(status, 0) << name;
        EXPECT_EQ(findings, "") << name;
    }
}
