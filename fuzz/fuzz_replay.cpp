// Fuzzes the replay reader, and then the game played from whatever it accepted: a replay is
// the file a player is most likely to be handed by someone else. A file the reader takes must
// play without a fault of the sanitizers' and end in one of the ways a replay ends.
//
// Input: the replay file's bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_platform.h"
#include "history/replay.h"
#include "run/run.h"

namespace {

constexpr std::int64_t deadline_ms = 60'000; // on the fake console's clock

Replay replay;
Game game;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (!parse_replay(text, replay, why)) {
        if (why.compare(0, 5, "line ") != 0) std::abort(); // every refusal names its line
        return 0;
    }
    if (replay.boards.empty() || replay.tape.frames == 0) std::abort();

    fake::reset();
    fake::console.deadline_ms = deadline_ms;
    // Paced, so that the fake clock moves and a replay of endless equal frames meets the
    // deadline; an unpaced replay sleeps not at all.
    start_replay(replay.tape, &game.kursor[0][0], 16);
    try {
        static Board board;
        std::memset(&board, 0, sizeof board);
        std::memcpy(board.cells, replay.boards[0].data(), board_size * board_size);
        // The first map: the levels' pauses between maps are the run's, not the rules'.
        Ending ending = play_map(game, board, starting_lives, "").ending;
        if (replay.boards.size() == 1) finish_replay(ending_name(ending));
    } catch (const ReplayFault& fault) {
        if (fault.what.find(" at frame ") == std::string::npos) std::abort();
    } catch (const ReplayStopped&) {
    } catch (const fake::TimeUp&) {}
    stop_tap();
    return 0;
}
