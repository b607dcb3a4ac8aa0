// The cast writer: a replay played with no terminal at all, as fast as it goes, and written as
// an asciicast (version 2: a header line, then one line per event), which the asciinema
// player and its web player show anywhere. Each event holds what a terminal must be sent to
// show what changed since the last: cursor moves and the changed cells only, the shade as
// UTF-8, the bell as BEL. An event's time is the game's, by the recorded clock and the sleeps
// since its last reading, divided by the speed.
#include <cstdio>
#include <cstring>
#include <limits>

#include "console/inputs.h"
#include "console/platform.h"
#include "history/names.h"
#include "run/levels.h"
#include "run/showing.h"

namespace {

constexpr unsigned char printed = 0; // a cell printed with a character no buffer byte draws
constexpr int move_cost = 9;         // bytes of a short cursor move, as the JSON holds it

// What the player's terminal shows and where its cursor is, as the events so far leave it.
struct Cast {
    unsigned char cells[needed_rows][screen_cols];
    int row = 0, col = 0; // the cursor; col -1: unknown, after the row's last cell
    int print_row = 0, print_col = 0;
    int speed = 1;
    long long event_ms = 0; // of the event being gathered
    std::string event, events;
};
Cast cast;

// JSON's string escapes; the bytes above 127 are kept, and must be UTF-8.
void add_json(std::string& out, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n' || c == '\r') {
            out += c == '\n' ? "\\n" : "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
}

// The length of the UTF-8 character at `text`, or 0 where the bytes are not one.
int utf8_length(const unsigned char* text) {
    int length = text[0] < 0x80                      ? 1
                 : text[0] >= 0xF0 && text[0] < 0xF5 ? 4
                 : text[0] >= 0xE0                   ? 3
                 : text[0] >= 0xC2                   ? 2
                                                     : 0;
    for (int i = 1; i < length; ++i)
        if ((text[i] & 0xC0) != 0x80) return 0;
    return length;
}

void flush_event() {
    if (cast.event.empty()) return;
    char time[48];
    std::snprintf(time, sizeof time, "[%lld.%03lld, \"o\", \"", cast.event_ms / 1000,
                  cast.event_ms % 1000);
    cast.events += time;
    add_json(cast.events, cast.event.data(), cast.event.size());
    cast.events += "\"]\n";
    cast.event.clear();
}

// Bytes for the terminal, in the event of the game's present time.
void send(const char* bytes) {
    long long at = replay_place().at_ms / cast.speed;
    if (at != cast.event_ms) flush_event();
    cast.event_ms = at;
    cast.event += bytes;
}

const char* glyph(unsigned char c) {
    static char ascii[2];
    if (c == shade) return "\xe2\x96\x91";
    ascii[0] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return ascii;
}

// The cursor to (row, col): by writing again the few cells on the way when that is shorter.
void move_to(int row, int col) {
    if (row == cast.row && col == cast.col) return;
    char move[32];
    if (row == cast.row && cast.col >= 0 && col > cast.col) {
        std::size_t cost = 0;
        for (int c = cast.col; c < col; ++c)
            cost +=
                cast.cells[row][c] == printed ? move_cost : std::strlen(glyph(cast.cells[row][c]));
        if (cost < move_cost) {
            for (int c = cast.col; c < col; ++c) send(glyph(cast.cells[row][c]));
        } else {
            std::snprintf(move, sizeof move, "\x1b[%dC", col - cast.col);
            send(move);
        }
    } else {
        std::snprintf(move, sizeof move, "\x1b[%d;%dH", row + 1, col + 1);
        send(move);
    }
    cast.row = row;
    cast.col = col;
}

// A character written at the cursor, which moves on; after a row's last cell the terminal's
// next move is its own, and not counted on.
void put(const char* bytes, unsigned char cell) {
    send(bytes);
    cast.cells[cast.row][cast.col] = cell;
    cast.col = cast.col + 1 < screen_cols ? cast.col + 1 : -1;
}

void cast_draw(const unsigned char* kursor) {
    for (int i = 0; i < drawn_cells; ++i) {
        int row = i / screen_cols, col = i % screen_cols;
        if (cast.cells[row][col] == kursor[i]) continue;
        move_to(row, col);
        put(glyph(kursor[i]), kursor[i]);
    }
}

void cast_clear() {
    send("\x1b[H\x1b[2J");
    std::memset(cast.cells, ' ', sizeof cast.cells);
    cast.row = cast.col = cast.print_row = cast.print_col = 0;
}

// As the terminal's port prints: a line feed clears the rest of the line, and the words wrap
// at its end.
void cast_print(const char* text) {
    const auto* at = reinterpret_cast<const unsigned char*>(text);
    while (*at != '\0' && cast.print_row < needed_rows) {
        move_to(cast.print_row, cast.print_col);
        if (*at == '\n') {
            // No line feed on the last row: it would scroll the whole screen up.
            send(cast.print_row + 1 < needed_rows ? "\x1b[K\r\n" : "\x1b[K");
            std::memset(&cast.cells[cast.print_row][cast.print_col], ' ',
                        screen_cols - cast.print_col);
            ++at;
            cast.row = ++cast.print_row;
            cast.col = cast.print_col = 0;
            continue;
        }
        int length = utf8_length(at);
        std::string character(reinterpret_cast<const char*>(at), length > 0 ? length : 1);
        put(length > 0 ? character.c_str() : "?", length == 1 ? *at : printed);
        at += length > 0 ? length : 1;
        if (++cast.print_col == screen_cols) {
            ++cast.print_row;
            cast.print_col = 0;
        }
    }
}

void cast_bell() {
    send("\a");
}

void cast_park() {
    cast.print_row = words_row;
    cast.print_col = 0;
}

void cast_hide() {
    send("\x1b[?25l");
}

const ReplayShow cast_show = {nullptr,    nullptr,   cast_draw, cast_clear,
                              cast_print, cast_bell, cast_park, cast_hide};

// The header: the terminal the cast is for, and the maps by their file names.
std::string header(const ReplayMaps& maps) {
    std::string title = "dotmaze replay:";
    for (std::size_t i = 0; i < maps.names.size(); ++i) {
        title += i == 0 ? " " : ", ";
        const char* name = maps.names[i];
        for (const char* at = name; *at != '\0'; ++at)
            if (*at == '/' || *at == '\\') name = at + 1;
        for (const auto* at = reinterpret_cast<const unsigned char*>(name); *at != '\0';) {
            int length = utf8_length(at);
            title.append(length > 0 ? reinterpret_cast<const char*>(at) : "?",
                         length > 0 ? length : 1);
            at += length > 0 ? length : 1;
        }
    }
    std::string line = "{\"version\": 2, \"width\": " + std::to_string(needed_cols) +
                       ", \"height\": " + std::to_string(needed_rows) + ", \"title\": \"";
    add_json(line, title.data(), title.size());
    return line + "\", \"env\": {\"TERM\": \"xterm-256color\"}}\n";
}

} // namespace

std::string cast_replay(Game& g, const Replay& replay, const ReplayMaps& maps, int speed) {
    cast = Cast{};
    cast.speed = speed;
    start_replay(replay.tape, &g.kursor[0][0], 0, &cast_show);
    cast_clear(); // the first event clears the screen, and the first frame is drawn whole on it
    try {
        finish_replay(ending_name(play_maps(g, maps.names, maps.boards, nullptr)));
    } catch (const ReplayStopped&) {} // where a signal ended the recorded game, the cast ends
    send("\x1b[?25h");                // the cursor back, as the game gives the terminal back
    flush_event();
    return header(maps) + cast.events;
}

bool cast_may_replace(const char* out) {
    if (std::strcmp(out, "-") == 0 || !path_exists(out)) return true;
    char why[256] = "it is a folder";
    if (!is_folder(out)) {
        std::FILE* file = open_regular_file(out, std::numeric_limits<long>::max(), why, sizeof why);
        if (file != nullptr) {
            char start[64] = "";
            std::size_t got = std::fread(start, 1, sizeof start - 1, file);
            std::fclose(file);
            // Only a cast, or an empty file, is replaced: the replay's own name typed here
            // would otherwise lose the replay.
            if (got == 0 || (start[0] == '{' && (std::strstr(start, "\"version\": 2") ||
                                                 std::strstr(start, "\"version\":2"))))
                return true;
            std::snprintf(why, sizeof why,
                          "it holds something other than an asciicast, and would be replaced");
        }
    }
    std::fprintf(stderr, "dotmaze: cannot write the cast \"%s\": %s\n", shown_name(out).c_str(),
                 shown_name(why).c_str());
    return false;
}

bool write_cast(const char* out, const std::string& text) {
    char why[256];
    if (std::strcmp(out, "-") == 0) {
        if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size()) return true;
        return false; // the exit's flush of standard output says why
    }
    if (replace_file(out, text.data(), static_cast<long>(text.size()), 0666, why, sizeof why))
        return true;
    std::fprintf(stderr, "dotmaze: cannot write the cast \"%s\": %s\n", shown_name(out).c_str(),
                 shown_name(why).c_str());
    return false;
}
