#include "game/map_reader.h"

#include <cerrno>
#include <cstring>

#include "console/platform.h"

// ---- opening -------------------------------------------------------------------------------

long read_to_limit(std::FILE* file, long limit, std::string* text) {
    char chunk[4096];
    long total = 0;
    for (std::size_t got = 1; got > 0 && total <= limit;) {
        got = std::fread(chunk, 1, sizeof chunk, file);
        total += static_cast<long>(got);
        if (text != nullptr) text->append(chunk, got);
    }
    return std::ferror(file) ? -1 : total;
}

std::FILE* open_map(const char* name, char* why, int why_size) {
    std::FILE* file = open_regular_file(name, max_map_bytes, why, why_size);
    if (file == nullptr) return nullptr;
    // The whole map is read here, up to one byte past the limit, before anything else is done;
    // the reader then reads it again from the start.
    long total = read_to_limit(file, max_map_bytes, nullptr);
    if (total > max_map_bytes)
        std::snprintf(why, why_size, "it holds more than the limit of %ld bytes", max_map_bytes);
    else if (total < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        std::snprintf(why, why_size, "%s", std::strerror(errno));
    else
        return file;
    std::fclose(file);
    return nullptr;
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
    // Bounded even if the file has grown since open_map measured it.
    for (long n = 0; n <= max_map_bytes; ++n) {
        int c = text_getc(in);
        if (c == EOF) break;
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
