// What is wrong with the board the game read: above all, dots the player can never eat.
//
// The game is won when every dot of rows 0 to 31 is eaten, and the player eats a dot by
// stepping onto it while the screen shows it. The player steps up, down, left and right, onto
// any cell of the board that is not a wall, and nothing else moves them but a catch, which
// puts them back on (1, 1). A dot the screen hides comes back at the next beat: under the
// player or a mob that walks on. The mobs never stop for good, but for one walled in on its
// starting cell, and none of those cells can be walked to either. So a dot can be eaten exactly
// when the player can walk onto it from (1, 1); the dot on (1, 1) itself only by stepping off
// and back.
#include <algorithm>

#include "check/findings.h"
#include "mobs/mobs.h"

namespace {

bool wall_at(const Grid& mapa, int x, int y) {
    return mapa[y][x] == wall;
}

// Every cell the player can walk to from the start. The start counts even when it is a wall:
// the player stands there all the same.
void mark_reachable(const Grid& mapa, bool (&reached)[board_size][board_size]) {
    std::vector<Cell> todo = {{start_x, start_y}};
    reached[start_y][start_x] = true;
    while (!todo.empty()) {
        Cell at = todo.back();
        todo.pop_back();
        for (Cell next :
             {Cell{at.x - 1, at.y}, {at.x + 1, at.y}, {at.x, at.y - 1}, {at.x, at.y + 1}})
            if (on_board(next.x, next.y) && !reached[next.y][next.x] &&
                !wall_at(mapa, next.x, next.y)) {
                reached[next.y][next.x] = true;
                todo.push_back(next);
            }
    }
}

// Returns the number of dots, all of which the game counts.
long check_dots(const Grid& mapa, std::vector<Finding>& found) {
    if (wall_at(mapa, start_x, start_y)) found.push_back({.kind = Kind::start_is_wall});

    bool reached[board_size][board_size] = {};
    mark_reachable(mapa, reached);
    if (mapa[start_y][start_x] == dot) {
        bool shut_in = true;
        for (Cell next : {Cell{start_x - 1, start_y},
                          {start_x + 1, start_y},
                          {start_x, start_y - 1},
                          {start_x, start_y + 1}})
            shut_in = shut_in && wall_at(mapa, next.x, next.y);
        found.push_back({.kind = Kind::dot_on_start, .at_end = shut_in});
    }

    Finding lost{.kind = Kind::lost_dots};
    long dots = 0;
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) {
            if (mapa[y][x] != dot) continue;
            ++dots;
            if (!reached[y][x]) lost.cells_at.push_back({x, y});
        }
    lost.count = static_cast<long>(lost.cells_at.size());
    if (lost.count > 0) found.push_back(lost);
    return dots;
}

void check_layout(const Grid& mapa, std::vector<Finding>& found) {
    Finding border{.kind = Kind::open_border};
    for (int y = 0; y < board_size; ++y)
        for (int x = 0; x < board_size; ++x) {
            bool edge = x == 0 || y == 0 || x == board_size - 1 || y == board_size - 1;
            if (edge && !wall_at(mapa, x, y)) border.cells_at.push_back({x, y});
        }
    border.count = static_cast<long>(border.cells_at.size());
    if (border.count > 0) found.push_back(border);

    const Cell mobs[] = {
        {mob1_start_x, mob1_start_y}, {mob2_start_x, mob2_start_y}, {mob3_start_x, mob3_start_y}};
    for (long mob = 0; mob < 3; ++mob)
        if (wall_at(mapa, mobs[mob].x, mobs[mob].y))
            found.push_back({.kind = Kind::mob_on_wall, .count = mob, .cells_at = {mobs[mob]}});

    // The patroller's own steps, once round: it walks through walls without looking.
    Finding round{.kind = Kind::round_crosses_walls};
    Cell at = mobs[0];
    round.low = round.high = at;
    for (int stage = 0; stage < patrol_length; ++stage) {
        if (wall_at(mapa, at.x, at.y)) round.cells_at.push_back(at);
        PatrolStep step = patrol_step(stage);
        at = {at.x + step.dx, at.y + step.dy};
        round.low = {std::min(round.low.x, at.x), std::min(round.low.y, at.y)};
        round.high = {std::max(round.high.x, at.x), std::max(round.high.y, at.y)};
    }
    round.count = static_cast<long>(round.cells_at.size());
    if (round.count > 0) found.push_back(round);
}

} // namespace

void check_board(const Grid& mapa, std::vector<Finding>& found) {
    long dots = check_dots(mapa, found);
    check_layout(mapa, found);
    if (dots == 0) found.push_back({.kind = Kind::no_dots});
}
