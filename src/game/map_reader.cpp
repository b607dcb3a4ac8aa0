#include "game/map_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

// ---- opening -------------------------------------------------------------------------------

std::FILE* open_map(const char* name, char* why, int why_size) {
    namespace fs = std::filesystem;
    // Look before opening: opening a FIFO would block until someone writes to it.
    std::error_code error;
    fs::file_status info = fs::status(name, error);
    if (error) {
        std::snprintf(why, why_size, "%s", error.message().c_str());
        return nullptr;
    }
    if (fs::is_directory(info)) {
        std::snprintf(why, why_size, "it is a directory");
        return nullptr;
    }
    if (!fs::is_regular_file(info)) {
        std::snprintf(why, why_size, "it is not a regular file");
        return nullptr;
    }
    std::uintmax_t size = fs::file_size(name, error);
    if (error) {
        std::snprintf(why, why_size, "%s", error.message().c_str());
        return nullptr;
    }
    if (size > static_cast<std::uintmax_t>(max_map_bytes)) {
        std::snprintf(why, why_size, "it is %llu bytes long, more than a map's limit of %ld",
                      static_cast<unsigned long long>(size), max_map_bytes);
        return nullptr;
    }
    // Binary mode everywhere: the text-mode rules are applied below, the same on every system.
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) std::snprintf(why, why_size, "%s", std::strerror(errno));
    return file;
}

// ---- text mode -----------------------------------------------------------------------------

namespace {

constexpr int ctrl_z = 0x1A;

} // namespace

int text_getc(TextFile& in) {
    if (in.ended) return EOF;
    int c = std::getc(in.file);
    if (c == ctrl_z || c == EOF) {
        in.ended = true;
        in.at_ctrl_z = c == ctrl_z;
        return EOF;
    }
    if (c == '\r') {
        int next = std::getc(in.file);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, in.file);
    }
    return c;
}

// ---- reading -------------------------------------------------------------------------------

void read_map(unsigned char (&mapa)[map_rows][board_size], std::FILE* file) {
    TextFile in{file};

    // First pass: the line length comes from the first line, and each space in it counts.
    long col = board_size;
    long row = 1;
    bool first_line = true;
    for (int c; (c = text_getc(in)) != EOF;) {
        if (first_line && (c == ' ' || c == '\n')) ++col;
        if (c == '\n') {
            ++row;
            first_line = false;
        }
    }

    // Second pass: row x col reads laid onto the flat grid at a fixed width of 32. Stores past
    // the spare row are dropped, so the copy stops once no later read could land in the grid.
    std::rewind(file);
    in.ended = false;
    unsigned char* cells = &mapa[0][0];
    constexpr long cell_count = map_rows * board_size;
    for (long i = 0; i < row && i * board_size < cell_count; ++i) {
        bool last_stored_row = (i + 1) * board_size >= cell_count;
        for (long j = 0; j < col; ++j) {
            long pos = i * board_size + j;
            if (pos >= cell_count && last_stored_row) break;
            int c = text_getc(in);
            if (pos < cell_count) cells[pos] = c == EOF ? 0xFF : static_cast<unsigned char>(c);
        }
    }

    std::fclose(file);
}
