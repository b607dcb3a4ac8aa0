// The tape's bytes. Each input is a tag byte, its kind in the top three bits and a small value
// in the low five, then what the value needs; a frame ends with an end tag that says whether a
// checksum (two bytes) and a run of repeats (a number) follow. Numbers past the tag are
// little-endian base-128, seven bits a byte, the top bit set on all but the last. Against the
// text: "0" and its line end are two bytes, so is a clock tag and the end tag; "k72 " is four,
// a key tag and its code two; three base-32 digits are three, a random tag and two bytes three.
#include "console/tape.h"

namespace {

enum Kind : unsigned char {
    clock_advance = 0,
    key_code = 1,
    random_number = 2,
    key_waiting = 3,
    seeded = 4,
    frame_end = 7,
};
constexpr unsigned char small_limit = 31; // a low-five value of 31 means: the number follows
constexpr unsigned char has_checksum = 1, has_repeats = 2;

void put_tag(std::vector<unsigned char>& code, Kind kind, unsigned value) {
    code.push_back(static_cast<unsigned char>(kind << 5 | value));
}

void put_number(std::vector<unsigned char>& code, std::uint64_t value) {
    for (; value >= 0x80; value >>= 7) code.push_back(static_cast<unsigned char>(value | 0x80));
    code.push_back(static_cast<unsigned char>(value));
}

// A tag's value, small or following it.
void put_value(std::vector<unsigned char>& code, Kind kind, std::uint64_t value) {
    if (value < small_limit) {
        put_tag(code, kind, static_cast<unsigned>(value));
        return;
    }
    put_tag(code, kind, small_limit);
    put_number(code, value);
}

std::uint64_t get_number(const std::vector<unsigned char>& code, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0; at < code.size(); shift += 7) {
        unsigned char byte = code[at++];
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) break;
    }
    return value;
}

} // namespace

void append_frame(Tape& tape, const TapFrame& frame) {
    std::vector<unsigned char>& code = tape.code;
    for (const TapInput& input : frame.inputs) {
        auto value = static_cast<std::uint64_t>(input.value);
        switch (input.kind) {
        case 't':
            put_value(code, clock_advance, value);
            break;
        case 'k':
            put_value(code, key_code, value);
            break;
        case 'r': // fifteen bits: five in the tag, ten in two bytes
            put_tag(code, random_number, static_cast<unsigned>(value >> 10 & 31));
            code.push_back(static_cast<unsigned char>(value >> 5 & 31));
            code.push_back(static_cast<unsigned char>(value & 31));
            break;
        case '+':
            put_tag(code, key_waiting, 0);
            break;
        default:
            put_tag(code, seeded, 0);
        }
    }
    put_tag(code, frame_end,
            (frame.checked ? has_checksum : 0) | (frame.repeats > 1 ? has_repeats : 0));
    if (frame.checked) {
        code.push_back(static_cast<unsigned char>(frame.checksum >> 8));
        code.push_back(static_cast<unsigned char>(frame.checksum & 0xFF));
    }
    if (frame.repeats > 1) put_number(code, static_cast<std::uint64_t>(frame.repeats));
    ++tape.frames;
}

bool next_frame(const Tape& tape, std::size_t& at, TapFrame& frame) {
    const std::vector<unsigned char>& code = tape.code;
    frame.inputs.clear();
    while (at < code.size()) {
        unsigned char tag = code[at++];
        unsigned value = tag & 31;
        auto small_or_next = [&]() -> std::int64_t {
            return static_cast<std::int64_t>(value < small_limit ? value : get_number(code, at));
        };
        switch (tag >> 5) {
        case clock_advance:
            frame.inputs.push_back({'t', small_or_next()});
            break;
        case key_code:
            frame.inputs.push_back({'k', small_or_next()});
            break;
        case random_number: {
            std::int64_t high = value, middle = code[at], low = code[at + 1];
            at += 2;
            frame.inputs.push_back({'r', high << 10 | middle << 5 | low});
            break;
        }
        case key_waiting:
            frame.inputs.push_back({'+', 0});
            break;
        case seeded:
            frame.inputs.push_back({'s', 0});
            break;
        default: // the frame's end
            frame.checked = (value & has_checksum) != 0;
            frame.checksum = 0;
            if (frame.checked) {
                frame.checksum = static_cast<std::uint16_t>(code[at] << 8 | code[at + 1]);
                at += 2;
            }
            frame.repeats =
                (value & has_repeats) != 0 ? static_cast<long>(get_number(code, at)) : 1;
            return true;
        }
    }
    return false;
}
