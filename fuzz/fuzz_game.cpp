// Fuzzes the whole game: start-up on an arbitrary map file, then up to 200 passes of the
// loop driven by arbitrary keys and random numbers, checking after every pass that nobody has
// left the board, the counters agree and the screen buffer is whole. The map checker reads the
// same file too, and must print the very board the game read. Run under the sanitizers, this
// also catches any read or write outside the grids.
//
// Input:
//   2 bytes   the map file's length, little-endian, capped by what follows
//   N bytes   the map file
//   the rest  commands, one byte each, worked in order:
//     0x00-0x3F  run (byte + 1) passes
//     0x40-0x7F  press an arrow key 1 to 8 times: the low two bits pick up, down, left or
//                right, the next three give the count less one; with 0x20 set, the bare code
//                alone (the letter keys H, P, K and M give it too), else the 0xE0 prefix first
//     0x80-0xBF  press the key code in the next byte
//     0xC0-0xFF  queue the random number in the next two bytes (their low 15 bits)
// Pressed keys are readable at once and the loop takes one a pass. When the commands run
// out, passes go on without keys up to the limit; random numbers past the queued ones come
// from the fake console's fixed-seed generator, so every run repeats exactly.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check/check.h"
#include "fake_platform.h"
#include "game/loop.h"
#include "game/player.h"
#include "game/startup.h"
#include "test_support.h"

namespace {

constexpr int max_passes = 200;
// Passes sleep 40 ms each and a lost life blinks for 3 s: a backstop well past the pass limit.
constexpr std::int64_t deadline_ms = 60'000;
constexpr int mob2_start_x = 1, mob2_start_y = 29;
constexpr int mob3_start_x = 29, mob3_start_y = 29;

[[noreturn]] void violated(const char* what, int line) {
    std::fprintf(stderr, "fuzz_game.cpp:%d: invariant broken: %s\n", line, what);
    std::abort();
}
#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) violated(#cond, __LINE__);                                                    \
    } while (0)

// What a pass may not undo: a mob that has left its start cell, the score, the lives.
struct History {
    bool mob2_left = false, mob3_left = false;
    int score = 0, lives = 3;
};

// The checks are kept out of the coverage hooks: they cost little that way, and the fuzzer
// learns nothing from their branches that the game's own do not show.
#define UNTRACED __attribute__((no_sanitize("coverage")))

// The screen outside the board as start-up draws it: spaces, the shaded panel, its labels.
struct Backdrop {
    unsigned char cells[screen_rows][screen_cols];
    bool board_glyph[256] = {};
    Backdrop() {
        std::memset(cells, space, sizeof cells);
        for (int row = 33; row <= 39; ++row) std::memset(&cells[row][2], shade, 69 - 2 + 1);
        std::memcpy(&cells[34][4], "SCORE", 5);
        std::memcpy(&cells[34][12], "LIVES", 5);
        for (unsigned char c : {space, dot, shade, player_glyph, mob_glyph}) board_glyph[c] = true;
    }
};
const Backdrop backdrop;

UNTRACED void check_screen(const Game& g) {
    const auto& k = g.kursor;
    bool glyphs_ok = true;
    for (int row = 0; row < board_size; ++row) {
        for (int col = 0; col < board_size; ++col) glyphs_ok &= backdrop.board_glyph[k[row][col]];
        CHECK(std::memcmp(&k[row][board_size], &backdrop.cells[row][board_size],
                          screen_cols - board_size) == 0);
    }
    CHECK(glyphs_ok);
    CHECK(k[g.y][g.x] == player_glyph);

    // Below the board: the backdrop, but for the readouts, which stay shaded until first
    // written and show the counters after that.
    unsigned char below[screen_rows - board_size][screen_cols];
    std::memcpy(below, k[board_size], sizeof below);
    unsigned char* lives = &below[35 - board_size][14];
    CHECK(*lives == shade || *lives == '0' + g.lives);
    *lives = shade;
    unsigned char* score = &below[35 - board_size][3];
    char readout[8];
    std::snprintf(readout, sizeof readout, "%03d/%03d", g.score % 1000, g.max % 1000);
    if (std::memcmp(score, readout, 7) == 0) std::memset(score, shade, 7);
    CHECK(std::memcmp(below, backdrop.cells[board_size], sizeof below) == 0);
}

UNTRACED void check_mob(const Game& g, int x, int y, int start_x, int start_y, bool& left) {
    CHECK(on_board(x, y));
    left = left || x != start_x || y != start_y;
    // The map may put a wall under a mob's start cell; once it moves, it never steps on one.
    if (left) {
        CHECK(g.mapa[y][x] != wall);
        CHECK(y != closed_row);
    }
}

// Everything that follows from the state alone (and what came before it).
UNTRACED void check_state(const Game& g, History& h) {
    CHECK(on_board(g.x, g.y));
    CHECK((g.x == start_x && g.y == start_y) || g.mapa[g.y][g.x] != wall);
    CHECK(on_board(g.mob1_x, g.mob1_y));
    check_mob(g, g.mob2_x, g.mob2_y, mob2_start_x, mob2_start_y, h.mob2_left);
    check_mob(g, g.mob3_x, g.mob3_y, mob3_start_x, mob3_start_y, h.mob3_left);

    CHECK(g.score >= h.score && g.score <= g.max);
    CHECK(g.lives >= 0 && g.lives <= h.lives && g.lives <= 3);
    h.score = g.score;
    h.lives = g.lives;
    // Every dot of the map is either still to eat or counted in the score, once.
    int dots = 0, uneaten = 0;
    bool food_ok = true;
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            dots += g.mapa[row][col] == dot;
            uneaten += g.food[row][col] == dot;
            food_ok &= g.food[row][col] == space || g.mapa[row][col] == dot;
        }
    CHECK(food_ok);
    CHECK(dots == g.max && uneaten + g.score == g.max);

    check_screen(g);
}

// What the pass itself did: its ending and its last frame.
UNTRACED void check_pass(const Game& g, Ending ending, int key) {
    if (ending == Ending::none) {
        // A pass that goes on shows the buffer as it left it (all but the last cell).
        CHECK(!fake::console.frames.empty());
        CHECK(std::memcmp(fake::console.frames.back().data(), &g.kursor[0][0],
                          fake::Frame{}.size() - 1) == 0);
        CHECK(g.lives > 0);
    }
    if (ending == Ending::escape) CHECK(key == key_escape);
    if (ending == Ending::won) CHECK(key >= 0 && g.score == g.max);
    if (ending == Ending::game_over) CHECK(g.lives == 0);
}

// What the map checker printed for this input.
char check_output[1 << 18];

// The checker's printout against the board the game read: the 32 rows, the dot count, and an
// exit status of 1 exactly when a finding is an error.
UNTRACED void check_checker(const Game& g, int status, std::size_t length) {
    CHECK(length < sizeof check_output); // else the printout was cut short
    const char* at = check_output;
    const char* end = check_output + length;
    int line = 0;
    bool error = false;
    for (const char* next; at < end; at = next + 1, ++line) {
        next = static_cast<const char*>(std::memchr(at, '\n', end - at));
        CHECK(next != nullptr);
        int y = line - 3; // after the heading and the two ruler lines
        if (y >= 0 && y < board_size) {
            CHECK(next - at == 4 + board_size + 2 + (y < 10 ? 1 : 2));
            for (int x = 0; x < board_size; ++x) {
                unsigned char c = g.mapa[y][x];
                CHECK(at[4 + x] == (c == wall || c == dot ? c : space));
            }
        } else if (y == board_size) {
            CHECK(std::atoi(at) == g.max);
        }
        error = error || std::strncmp(at, "error:", 6) == 0;
    }
    CHECK(line > board_size + 1);
    CHECK(status == (error ? 1 : 0));
}

struct Commands {
    const std::uint8_t* at;
    const std::uint8_t* end;
    int next() { return at < end ? *at++ : 0; }
};

// How far a game got, as extra coverage: libFuzzer reads counters in this section as features,
// so it keeps the inputs that eat more dots or lose more lives, and so goes deeper into games.
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t progress[256][4];

Game game;
// The state as last checked: most passes change nothing, and the same state needs no second look.
Game checked;

// Works off commands until one asks for passes: keys pressed now, random numbers scripted.
// Returns the passes to run before the next command.
int take_commands(Commands& commands) {
    while (commands.at < commands.end) {
        int command = commands.next();
        if (command < 0x40) return command + 1;
        if (command < 0x80) {
            static constexpr int arrows[4] = {key_up, key_down, key_left, key_right};
            for (int i = 0; i <= (command >> 2 & 7); ++i) {
                if ((command & 0x20) == 0) fake::press(key_arrow_prefix, fake::console.now_ms);
                fake::press(arrows[command & 3], fake::console.now_ms);
            }
        } else if (command < 0xC0) {
            fake::press(commands.next(), fake::console.now_ms);
        } else {
            int low = commands.next();
            fake::console.randoms.push_back((commands.next() << 8 | low) & 0x7FFF);
        }
    }
    return 0;
}

// The map checker on the same bytes: it must print the very board the game read.
void check_with_checker(const std::uint8_t* map, std::size_t map_length) {
    std::FILE* again = fmemopen(const_cast<std::uint8_t*>(map), map_length, "rb");
    std::FILE* out = fmemopen(check_output, sizeof check_output, "w");
    if (again == nullptr || out == nullptr) std::abort();
    int status = check_map(again, "fuzz", out);
    std::fflush(out);
    auto printed = static_cast<std::size_t>(std::ftell(out));
    std::fclose(out);
    check_checker(game, status, printed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t map_length = size < 2 ? 0 : data[0] | data[1] << 8;
    const std::uint8_t* map = data + (size < 2 ? size : 2);
    const std::uint8_t* end = data + size;
    if (map_length > static_cast<std::size_t>(end - map)) map_length = end - map;
    Commands commands{map + map_length, end};

    fake::reset();
    fake::console.deadline_ms = deadline_ms;
    // A fixed pattern rather than zeros, so a field start-up forgets shows up as a difference.
    std::memset(&game, 0xA5, sizeof game);
    // Read-only: the reader never writes through the stream.
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(map), map_length, "rb");
    if (file == nullptr) std::abort();
    start_game(game, file);

    check_with_checker(map, map_length);

    History history;
    check_state(game, history);
    std::memcpy(&checked, &game, sizeof game);

    int passes_owed = 0;
    try {
        for (int pass = 0; pass < max_passes; ++pass) {
            if (passes_owed == 0) passes_owed = take_commands(commands);
            if (passes_owed > 0) --passes_owed;

            int key = fake::console.keys.empty() ? -1 : fake::console.keys.front().code;
            fake::console.frames.clear(); // only this pass's frames; keeps each run cheap
            fake::console.events.clear();
            fake::console.sleeps.clear();
            Ending ending = run_pass(game);
            if (std::memcmp(&game, &checked, sizeof game) != 0) {
                check_state(game, history);
                std::memcpy(&checked, &game, sizeof game);
            }
            check_pass(game, ending, key);
            ++progress[std::min(game.score, 255)][game.lives & 3];
            if (ending != Ending::none) break;
        }
    } catch (const fake::TimeUp&) {
        // The backstop fired inside a pass; a half-done pass has nothing to check.
    }
    return 0;
}
