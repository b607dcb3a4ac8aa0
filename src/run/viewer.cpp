// The replay viewer: the keys of a video player over the tap (pause, step, seek, speed), and
// two lines right of the board that say where the replay is. The lines are drawn into a copy
// of each frame on its way to the terminal, never into the game's own buffer, so the frames
// the replay checks stay the game's.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/buffer.h"
#include "console/inputs.h"
#include "console/platform.h"
#include "run/levels.h"
#include "run/showing.h"

namespace {

constexpr int seek_ms = 5000;
constexpr int slowest = 1, fastest = 16;
constexpr int status_row = 2, keys_row = 3; // below the map's label in row 0
constexpr int status_col = screen_cols - map_label_cols;
constexpr char keys_line[] = "space pause  . step  <- -> 5 s  + - speed";

// Thrown through the rules by a seek back: the replay starts again from its first frame.
struct SeekBack {
    std::int64_t to_ms;
};

struct Viewer {
    int speed = 1;
    bool held = false;
    bool arrow = false;                   // an arrow key's prefix came last
    std::int64_t seek_to = 0;             // where the last seek on goes
    const unsigned char* shown = nullptr; // the game's buffer, last drawn with the lines over it
};
Viewer view;
Screen overlaid;

void write_line(int row, const char* text) {
    for (int col = status_col; *text != '\0' && col < screen_cols; ++text, ++col)
        overlaid[row][col] = static_cast<unsigned char>(*text);
}

// "0:37", or "75:02" past the hour.
void put_time(char (&text)[24], std::int64_t ms) {
    std::int64_t seconds = ms / 1000;
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
}

// "replay x4  paused  0:37 / 2:15  frame 925", the x the multiplication sign.
void write_status() {
    ReplayPlace place = replay_place();
    char at[24], length[24], line[96]; // cut where the screen ends
    put_time(at, place.at_ms);
    put_time(length, place.length_ms);
    std::snprintf(line, sizeof line, "replay %c%d%s  %s / %s  frame %lld",
                  static_cast<char>(times_sign), view.speed, place.held ? "  paused" : "", at,
                  length, place.frame);
    write_line(status_row, line);
    write_line(keys_row, keys_line);
}

void view_draw(const unsigned char* kursor) {
    view.shown = kursor;
    std::memcpy(overlaid, kursor, sizeof overlaid);
    write_status();
    raw_draw_buffer(&overlaid[0][0]);
}

void view_clear() {
    view.shown = nullptr; // gone with the screen: the next frame brings the lines back
    raw_clear_screen();
}

// Not while a seek is on its way: the game's buffer is not yet where it will be shown.
void redraw() {
    if (view.shown != nullptr && !replay_place().seeking) view_draw(view.shown);
}

// From where a seek on its way will get to, so that keys typed fast add up.
void view_seek(int direction) {
    ReplayPlace place = replay_place();
    std::int64_t to = (place.seeking ? view.seek_to : place.at_ms) + direction * seek_ms;
    if (to < place.at_ms) throw SeekBack{std::max<std::int64_t>(0, to)};
    view.seek_to = to;
    seek_replay(to);
}

void view_key(int code) {
    if (view.arrow) {
        view.arrow = false;
        if (code == key_right || code == key_left) view_seek(code == key_right ? 1 : -1);
        return;
    }
    switch (code) {
    case key_arrow_prefix:
        view.arrow = true;
        return;
    case key_escape:
        throw ReplayStopped{0};
    case ' ':
        view.held = !view.held;
        hold_replay(view.held);
        break;
    case '.':
        step_replay();
        break;
    case '+':
    case '-':
        view.speed = std::clamp(code == '+' ? view.speed * 2 : view.speed / 2, slowest, fastest);
        set_replay_speed(view.speed);
        break;
    default:
        return;
    }
    redraw();
}

// Held, nothing else draws: a terminal repainted after a resize or Ctrl-Z gets the frame again
// this way.
void view_held() {
    redraw();
}

// The lines go, and the game's own screen stays, on a console that keeps it after the end.
void leave_lines() {
    if (view.shown != nullptr) raw_draw_buffer(view.shown);
}

// The words, the bell, the cursor: the terminal's own.
const ReplayShow viewer_show = {view_key, view_held, view_draw, view_clear,
                                nullptr,  nullptr,   nullptr,   nullptr};

} // namespace

Ending view_replay(Game& g, const Replay& replay, const ReplayMaps& maps, int speed) {
    view = Viewer{};
    view.speed = speed;
    for (std::int64_t seek_to = -1;;) {
        start_replay(replay.tape, &g.kursor[0][0], view.speed, &viewer_show);
        hold_replay(view.held);
        if (seek_to >= 0) {
            view_clear(); // what was shown past the place sought goes; the first frame comes back
            view.seek_to = seek_to;
            seek_replay(seek_to);
        }
        try {
            Ending ending = play_maps(g, maps.names, maps.boards, nullptr);
            finish_replay(ending_name(ending));
            leave_lines();
            return ending;
        } catch (const SeekBack& back) {
            seek_to = back.to_ms;
            continue;
        } catch (const ReplayStopped&) {
            leave_lines();
            throw;
        }
    }
}
