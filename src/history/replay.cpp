// The replay file, both ways. Read strictly, since it comes from anywhere (a fault report, a
// download) and a replay that plays something else than what was recorded would mislead its
// viewer; written as the reader wants it.
#include "history/replay.h"

#include <cstdio>
#include <string_view>

namespace {

using Text = std::string_view;

constexpr std::int64_t max_clock_step = 1'000'000'000'000; // some thirty years in one frame
constexpr long max_repeats = 1'000'000'000;

struct Reader {
    Text text;
    std::size_t at = 0;
    long line = 0;
    long long frame = 0; // the frame the next input line stands for
    bool inputs = false; // among the inputs, where a fault also names the frame
    std::string why;

    bool fail(const std::string& what) {
        why = "line " + std::to_string(line);
        if (inputs) why += " (frame " + std::to_string(frame) + ")";
        why += ": " + what;
        return false;
    }

    // The next line without its line end (LF, or CR LF as a copy through Windows may leave
    // it); false at the end of the text, or at a last line cut off before its line end.
    bool next(Text& out) {
        ++line;
        if (at == text.size()) return fail("the file is cut short here");
        std::size_t end = text.find('\n', at);
        if (end == Text::npos) return fail("the file is cut short in this line");
        out = text.substr(at, end - at);
        if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
        at = end + 1;
        return true;
    }
};

// Built with += rather than +, which GCC 12 wrongly warns about when optimising.
std::string quoted(Text token) {
    std::string text = "\"";
    text += token;
    text += '"';
    return text;
}

// The version and the maps' names reach the terminal: a control character there could be the
// start of an escape sequence from whoever made the file. The game never writes one.
bool printable(Text text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) return false;
    return true;
}

// A decimal number of at most `digits` digits, all of `token` from `from` on.
bool number(Text token, std::size_t from, int digits, std::int64_t& value) {
    std::size_t length = token.size() - from;
    if (length == 0 || length > static_cast<std::size_t>(digits)) return false;
    if (length > 1 && token[from] == '0') return false;
    value = 0;
    for (std::size_t i = from; i < token.size(); ++i) {
        if (token[i] < '0' || token[i] > '9') return false;
        value = value * 10 + (token[i] - '0');
    }
    return true;
}

int digit_of(char c, int base) {
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'z' ? c - 'a' + 10 : base;
    return digit < base ? digit : -1;
}

bool checksum(Text token, std::uint16_t& value) {
    if (token.size() != 5) return false;
    value = 0;
    for (std::size_t i = 1; i < 5; ++i) {
        int digit = digit_of(token[i], 16);
        if (digit < 0) return false;
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return true;
}

// "r" and three digits of 0-9a-v for each number, 0 to 32767.
bool randoms(Text token, TapFrame& frame) {
    if (token.size() < 4 || (token.size() - 1) % 3 != 0) return false;
    for (std::size_t i = 1; i < token.size(); i += 3) {
        std::int64_t value = 0;
        for (std::size_t j = i; j < i + 3; ++j) {
            int digit = digit_of(token[j], 32);
            if (digit < 0) return false;
            value = value * 32 + digit;
        }
        frame.inputs.push_back({'r', value});
    }
    return true;
}

bool read_header(Reader& in, Replay& replay) {
    Text line;
    if (!in.next(line)) return false;
    const Text magic = replay_first_words;
    if (line.substr(0, magic.size()) != magic) return in.fail("this is not a dotmaze replay");
    std::size_t comma = line.find(", game ", magic.size());
    std::int64_t format = 0;
    if (comma == Text::npos || !number(line.substr(0, comma), magic.size(), 6, format))
        return in.fail("the first line is not \"dotmaze replay N, game VERSION\"");
    if (format != replay_format)
        return in.fail("a replay of format " + std::to_string(format) +
                       "; this game plays format " + std::to_string(replay_format));
    Text version = line.substr(comma + 7);
    if (version.empty() || version.find(' ') != Text::npos)
        return in.fail("the game's version is missing");
    if (!printable(version)) return in.fail("the game's version holds a control character");
    replay.game_version = version;
    return true;
}

bool read_boards(Reader& in, Replay& replay) {
    Text line;
    for (;;) {
        if (!in.next(line)) return false;
        if (line == "inputs" && !replay.boards.empty()) return true;
        if (line.substr(0, 6) != "board " || line.size() == 6)
            return in.fail(replay.boards.empty() ? "\"board NAME\" expected"
                                                 : "\"board NAME\" or \"inputs\" expected");
        if (!printable(line)) return in.fail("the map's name holds a control character");
        replay.map_names.emplace_back(line.substr(6));
        std::string board;
        for (int row = 0; row < board_size; ++row) {
            if (!in.next(line)) return false;
            if (line.size() != board_size || line.find_first_not_of("X. ") != Text::npos)
                return in.fail("a board row must be 32 cells of X, '.' or a space");
            board += line;
        }
        replay.boards.push_back(board);
    }
}

bool read_end(Reader& in, Replay& replay, Text line) {
    Text ending = line.substr(4);
    std::int64_t signal = 0;
    if (ending.substr(0, 7) == "signal ") {
        if (!number(ending, 7, 2, signal) || signal == 0)
            return in.fail("\"end signal N\" needs the signal's number");
        ending = "signal";
    } else if (ending != "won" && ending != "game_over" && ending != "escape") {
        return in.fail("the ending must be won, game_over, escape or signal N");
    }
    if (replay.tape.frames == 0) return in.fail("the replay has no inputs");
    replay.tape.ending = ending;
    replay.tape.signal = static_cast<int>(signal);
    if (in.at != in.text.size()) {
        ++in.line;
        return in.fail("something follows the end line");
    }
    return true;
}

// One token of a frame's line, the `index`th; `last` when the line ends after it. One switch,
// over what the token's first character says it is.
bool read_token(Reader& in, TapFrame& frame, Text token, int index, bool last, bool& empty) {
    if (token.empty()) return in.fail("an empty line, or two spaces in a row");
    if (frame.checked && token[0] != '*')
        return in.fail("the checksum must come last, before any \"*N\"");
    if (empty && token[0] != '*') return in.fail("\"-\" stands alone");

    std::int64_t value = 0;
    switch (token[0]) {
    case '-':
        if (token != "-" || index != 0) return in.fail("\"-\" stands alone");
        empty = true;
        return true;
    case '*':
        if (!number(token, 1, 10, value) || value < 2 || value > max_repeats || !last || index == 0)
            return in.fail(quoted(token) + ": a run is \"*N\" at the end, N from 2");
        frame.repeats = static_cast<long>(value);
        return true;
    case 'c':
        if (!checksum(token, frame.checksum))
            return in.fail(quoted(token) + ": a checksum is c and four hex digits");
        frame.checked = true;
        return true;
    case '+':
        if (token != "+" || index != 0) return in.fail("a key test \"+\" comes first");
        break;
    case 's':
        if (token != "s") return in.fail(quoted(token) + " is not an input");
        break;
    case 'k':
        if (!number(token, 1, 3, value) || value > 255)
            return in.fail(quoted(token) + ": a key code is k and 0 to 255");
        break;
    case 'r':
        if (!randoms(token, frame))
            return in.fail(quoted(token) +
                           ": random numbers are r and three base-32 digits (0-9, a-v) each");
        return true;
    default:
        if (!number(token, 0, 13, value) || value > max_clock_step)
            return in.fail(quoted(token) + " is not an input");
        frame.inputs.push_back({'t', value});
        return true;
    }
    frame.inputs.push_back({token[0], value});
    return true;
}

// `frame` is only the reader's room for the line's inputs, kept from one line to the next.
bool read_frame(Reader& in, Replay& replay, Text line, TapFrame& frame) {
    frame.inputs.clear();
    frame.repeats = 1;
    frame.checked = false;
    frame.checksum = 0;
    std::size_t at = 0;
    bool empty = false;
    for (int index = 0; at <= line.size(); ++index) {
        std::size_t end = line.find(' ', at);
        if (end == Text::npos) end = line.size();
        if (!read_token(in, frame, line.substr(at, end - at), index, end == line.size(), empty))
            return false;
        at = end + 1;
    }
    append_frame(replay.tape, frame);
    in.frame += frame.repeats;
    return true;
}

} // namespace

bool parse_replay(const std::string& text, Replay& replay, std::string& why) {
    replay = Replay{};
    Reader in{text, 0, 0, 0, false, {}};
    bool ok = read_header(in, replay) && read_boards(in, replay);
    in.inputs = true;
    replay.tape.first_line = in.line + 1;
    // A frame's bytes are never more than its line's: room for all of them at once.
    if (ok) replay.tape.code.reserve(text.size() - in.at);
    TapFrame frame;
    Text line;
    while (ok) {
        if (!in.next(line)) {
            if (in.at == text.size()) in.fail("the file is cut short: it has no end line");
            ok = false;
        } else if (line.substr(0, 4) == "end ") {
            ok = read_end(in, replay, line);
            break;
        } else {
            ok = read_frame(in, replay, line, frame);
        }
    }
    if (!ok) why = in.why;
    return ok;
}

// ---- writing -------------------------------------------------------------------------------

namespace {

constexpr char random_digits[] = "0123456789abcdefghijklmnopqrstuv";

// A frame's line: its inputs in the order taken, the random numbers in a row in one token of
// three base-32 digits each, since they are most of a replay.
void write_frame(std::string& text, const TapFrame& frame) {
    std::size_t start = text.size();
    char token[32];
    for (std::size_t i = 0; i < frame.inputs.size(); ++i) {
        const TapInput& input = frame.inputs[i];
        bool in_randoms = i > 0 && frame.inputs[i - 1].kind == 'r';
        if (text.size() > start && !(input.kind == 'r' && in_randoms)) text += ' ';
        switch (input.kind) {
        case 'r':
            if (!in_randoms) text += 'r';
            for (int shift = 10; shift >= 0; shift -= 5)
                text += random_digits[input.value >> shift & 31];
            continue;
        case 'k':
            std::snprintf(token, sizeof token, "k%lld", static_cast<long long>(input.value));
            break;
        case 't':
            std::snprintf(token, sizeof token, "%lld", static_cast<long long>(input.value));
            break;
        default: // '+' and 's' stand alone
            token[0] = input.kind;
            token[1] = '\0';
        }
        text += token;
    }
    if (frame.checked) {
        std::snprintf(token, sizeof token, "c%04x", static_cast<unsigned>(frame.checksum));
        text += text.size() > start ? " " : "";
        text += token;
    }
    if (text.size() == start) text += '-';
    if (frame.repeats > 1) text += " *" + std::to_string(frame.repeats);
    text += '\n';
}

} // namespace

std::string replay_text(const Replay& replay) {
    std::string text =
        replay_first_words + std::to_string(replay_format) + ", game " + replay.game_version + "\n";
    for (std::size_t i = 0; i < replay.boards.size(); ++i) {
        text += "board " + replay.map_names[i] + "\n";
        for (int row = 0; row < board_size; ++row)
            text.append(replay.boards[i], row * board_size, board_size) += '\n';
    }
    text += "inputs\n";
    TapFrame frame;
    for (std::size_t at = 0; next_frame(replay.tape, at, frame);) write_frame(text, frame);
    text += "end ";
    text += replay.tape.ending;
    if (replay.tape.ending == "signal") text += " " + std::to_string(replay.tape.signal);
    text += '\n';
    return text;
}

void add_board(Replay& replay, const char* name,
               const unsigned char (&mapa)[map_rows][board_size]) {
    // A line of its own: what would break it cannot show in the map's label anyway.
    std::string line = name;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = '?';
    replay.map_names.push_back(line);
    std::string board;
    for (int row = 0; row < board_size; ++row)
        for (int col = 0; col < board_size; ++col) {
            unsigned char c = mapa[row][col];
            // The rules tell walls and dots from everything else, which is open floor.
            board += c == wall || c == dot ? static_cast<char>(c) : ' ';
        }
    replay.boards.push_back(board);
}

const char* ending_name(Ending ending) {
    constexpr const char* words[] = {"none", "escape", "won", "game_over"}; // as Ending orders them
    return words[static_cast<int>(ending)];
}
