#include "history/names.h"

#include <cstdio>

namespace {

// U+0080 to U+009F, the C1 controls: some terminals obey them in UTF-8 as well (U+009B is a CSI,
// the start of an escape sequence).
bool c1_control_at(std::string_view s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) == 0xC2 && at + 1 < s.size() &&
           static_cast<unsigned char>(s[at + 1]) >= 0x80 &&
           static_cast<unsigned char>(s[at + 1]) <= 0x9F;
}

void append_hex(std::string& out, char c) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
    out += hex;
}

} // namespace

std::string shown_name(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c1_control_at(name, i)) {
            append_hex(shown, name[i]);
            append_hex(shown, name[++i]);
        } else if (c < 0x20 || c == 0x7F) {
            append_hex(shown, name[i]);
        } else {
            shown += name[i];
        }
    }
    return shown;
}

const char* base_name(const char* path) {
    const char* base = path;
    for (const char* at = path; *at != '\0'; ++at)
        if (*at == '/' || *at == '\\') base = at + 1;
    return base;
}
