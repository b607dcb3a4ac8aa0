// A replay watched with the viewer's keys, and written as an asciicast.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "run/run.h"
#include "test_support.h"

namespace {

// Recorded by the fake console: three catches, then the game over, in some 21 s.
const std::string committed = REPLAYS_DIR "/caught_three_times.replay";

struct Watched {
    std::string status; // the viewer's line, the multiplication sign as "x"
    fake::Frame screen; // the game's own buffer
    fake::Frame drawn;  // the last frame drawn with the viewer's lines
    int bells;
};

// The committed replay watched with `keys` typed, all but Escape at once, Escape at
// `escape_ms` on the fake clock.
Watched watch(const std::string& keys, int speed = 1, std::int64_t escape_ms = 500) {
    static Game game;
    fake::reset();
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == '>' || keys[i] == '<')
            fake::press_arrow(keys[i] == '>' ? key_right : key_left, i == 0 ? 0 : 100 * (i - 1));
        else
            fake::press(keys[i], 0);
    fake::press(key_escape, escape_ms);
    EXPECT_EQ(replay_game(game, committed.c_str(), speed), 0);
    auto& frames = fake::console.frames;
    EXPECT_GE(frames.size(), 2u);
    Watched w{fake::row_text(frames[frames.size() - 2], 2).substr(33),
              {},
              frames[frames.size() - 2],
              fake::console.bells};
    for (char& c : w.status) c = c == static_cast<char>(times_sign) ? 'x' : c;
    std::memcpy(w.screen.data(), game.kursor, w.screen.size());
    EXPECT_TRUE(fake::last_frame() == [&] { // the lines gone as the replay ends
        fake::Frame plain = w.screen;
        plain.back() = 0;
        return plain;
    }());
    return w;
}

long long frame_of(const std::string& status) {
    std::size_t at = status.find("frame ");
    return at == std::string::npos ? -1 : std::stoll(status.substr(at + 6));
}

} // namespace

TEST(Viewer, ASeekOrAStepLandsOnTheFramePlayedStraight) {
    // Held from the first frame: on 5 s, on 5 s more, then back 5 s (played again from the
    // start), across catches: a seek lands at the end of the first frame at or past its time,
    // and a blink has none for 3 s.
    Watched sought = watch(" >><", 1, 400);
    long long frame = frame_of(sought.status);
    ASSERT_GT(frame, 100) << sought.status;
    EXPECT_EQ(sought.status.substr(0, 31), "replay x1  paused  0:10 / 0:21 ");

    std::string steps(frame + 1, '.'); // held, then a step a frame
    steps[0] = ' ';
    Watched stepped = watch(steps, 1, 30'000);
    EXPECT_EQ(stepped.status, sought.status);
    EXPECT_TRUE(stepped.screen == sought.screen);
    EXPECT_TRUE(stepped.drawn == sought.drawn);
    EXPECT_EQ(sought.bells, 0);  // the catches passed over ring no bell
    EXPECT_EQ(stepped.bells, 1); // the first catch; the second comes after 0:10

    // One step is one frame; a step while playing does nothing.
    EXPECT_EQ(frame_of(watch(" .").status), 1);
    EXPECT_EQ(frame_of(watch(" ").status), 0);
    EXPECT_EQ(frame_of(watch(".. ").status), 0);
}

TEST(Viewer, TheSpeedGoesFromOneToSixteen) {
    struct {
        int speed;
        std::string keys, status;
    } rows[] = {{1, " +", "replay x2  paused"},      {1, " +++++", "replay x16  paused"},
                {4, " ------", "replay x1  paused"}, {3, " +", "replay x6  paused"},
                {16, " +", "replay x16  paused"},    {2, "", "replay x2  0:"}};
    for (const auto& row : rows)
        EXPECT_EQ(watch(row.keys, row.speed).status.substr(0, row.status.size()), row.status)
            << row.keys;
}

namespace {

class Cast : public ::testing::Test {
  protected:
    void SetUp() override {
        old_dir = std::filesystem::current_path();
        dir = new_temp_dir("dotmaze-cast-");
        std::filesystem::current_path(dir);
        fake::reset();
    }
    void TearDown() override {
        std::filesystem::current_path(old_dir);
        std::filesystem::remove_all(dir);
    }
    static std::string text_of(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::path dir, old_dir;
    Game game{};
};

// The times of the events, in seconds.
std::vector<double> event_times(const std::string& cast) {
    std::vector<double> times;
    std::istringstream lines(cast.substr(cast.find('\n') + 1));
    for (std::string line; std::getline(lines, line);) times.push_back(std::stod(line.substr(1)));
    return times;
}

} // namespace

TEST_F(Cast, ACastHasItsHeaderAndEventsInTimeAndNoTerminal) {
    ASSERT_EQ(replay_game(game, committed.c_str(), 1, "game.cast"), 0);
    std::string cast = text_of("game.cast");
    EXPECT_EQ(cast.substr(0, cast.find('\n')),
              "{\"version\": 2, \"width\": 80, \"height\": 41, \"title\": \"dotmaze replay: "
              "mapa.txt\", \"env\": {\"TERM\": \"xterm-256color\"}}");
    EXPECT_EQ(cast.find("\n[0.000, \"o\", \"\\u001b[H\\u001b[2J"), cast.find('\n'));
    EXPECT_NE(cast.find("GAME OVER!"), std::string::npos);
    EXPECT_NE(cast.find("\xe2\x96\x91"), std::string::npos); // the shade, as UTF-8
    std::size_t bells = 0;
    for (std::size_t at = 0; (at = cast.find("\\u0007", at)) != cast.npos; ++at) ++bells;
    EXPECT_EQ(bells, 3u);
    std::vector<double> times = event_times(cast);
    ASSERT_GT(times.size(), 50u);
    EXPECT_TRUE(std::adjacent_find(times.begin(), times.end(), std::greater_equal<>()) ==
                times.end());
    EXPECT_FALSE(fake::console.opened);
    EXPECT_TRUE(fake::console.frames.empty() && fake::console.sleeps.empty());

    // Twice as fast: the same events at half the times; standard output for "-".
    testing::internal::CaptureStdout();
    ASSERT_EQ(replay_game(game, committed.c_str(), 2, "-"), 0);
    std::vector<double> halved = event_times(testing::internal::GetCapturedStdout());
    ASSERT_EQ(halved.size(), times.size());
    EXPECT_NEAR(halved.back(), times.back() / 2, 0.001);
}

// Each row: what stands at OUT, the replay's text; what OUT holds after, the status and words.
TEST_F(Cast, ARefusedReplayOrOutWritesNothing) {
    const std::string good = text_of(committed);
    std::size_t key = good.find("+ k80 ");
    const std::string drifting = good.substr(0, key) + "+ k72 " + good.substr(key + 6);
    struct {
        std::string before, replay, after;
        int status;
        std::string words;
    } rows[] = {
        {"", drifting, "", 1, "the game drifts from the recording at frame "},
        {"mapa", good, "mapa", 1, "\"game.cast\": it holds something other than an asciicast"},
        {"{\"version\": 2}\n", drifting, "{\"version\": 2}\n", 1, "the screen is not the one"},
        {"{\"version\": 2}\n", good, "{\"version\": 2, \"width\": 80", 0, ""},
        {"", "dotmaze replay 1", "", 1, "\"game.replay\": line 1"},
    };
    for (const auto& row : rows) {
        std::filesystem::remove("game.cast");
        if (!row.before.empty()) std::ofstream("game.cast", std::ios::binary) << row.before;
        std::ofstream("game.replay", std::ios::binary) << row.replay;
        testing::internal::CaptureStderr();
        EXPECT_EQ(replay_game(game, "game.replay", 1, "game.cast"), row.status);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(row.words), std::string::npos) << err;
        EXPECT_EQ(text_of("game.cast").substr(0, row.after.size()), row.after) << err;
        EXPECT_EQ(std::filesystem::exists("game.cast"), !row.before.empty() || row.status == 0);
    }
}
