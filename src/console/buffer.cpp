#include "console/buffer.h"

namespace {

constexpr int panel_top = 33, panel_bottom = 39;
constexpr int panel_left = 2, panel_right = 69;
constexpr int label_row = 34, readout_row = 35;
constexpr int score_col = 3, slash_col = 6, max_col = 7, lives_col = 14;
constexpr int map_label_row = 0, map_label_col = screen_cols - map_label_cols;

void write_text(Screen& kursor, int row, int col, const char* text) {
    for (; *text != '\0' && col < screen_cols; ++text, ++col)
        kursor[row][col] = static_cast<unsigned char>(*text);
}

// Three digits with leading zeros, written units first as the value is divided down.
void write_three_digits(Screen& kursor, int row, int col, int value) {
    for (int i = 2; i >= 0; --i) {
        kursor[row][col + i] = static_cast<unsigned char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

void clear_screen_buffer(Screen& kursor) {
    for (int row = 0; row < screen_rows; ++row)
        for (int col = 0; col < screen_cols; ++col) {
            bool panel =
                row >= panel_top && row <= panel_bottom && col >= panel_left && col <= panel_right;
            kursor[row][col] = panel ? shade : space;
        }
}

void write_labels(Screen& kursor) {
    write_text(kursor, label_row, 4, "SCORE");
    write_text(kursor, label_row, 12, "LIVES");
}

void write_score_readout(Screen& kursor, int score, int max) {
    write_three_digits(kursor, readout_row, score_col, score);
    kursor[readout_row][slash_col] = '/';
    write_three_digits(kursor, readout_row, max_col, max);
}

void write_lives_readout(Screen& kursor, int lives) {
    kursor[readout_row][lives_col] = static_cast<unsigned char>('0' + lives);
}

void write_map_label(Screen& kursor, const char* label) {
    for (int col = map_label_col; *label != '\0' && col < screen_cols; ++label, ++col) {
        auto c = static_cast<unsigned char>(*label);
        kursor[map_label_row][col] = c >= 0x20 && c < 0x7F ? c : '?';
    }
}
