// The outputs the rules call, between them and the seam's raw ones: passed through, or, while
// a replay plays, shown as the replay's run asks. A seek holds every draw back but the last,
// and shows that one where it gets to: a clear wipes what was drawn before it, and the words
// printed go below the buffer or after a clear, so the screen comes out the same as if every
// draw had been shown. Nor does a seek ring the bell of each catch it passes.
#include "console/platform.h"
#include "console/playback.h"

namespace {

const unsigned char* held_draw = nullptr;

} // namespace

void forget_held_draw() {
    held_draw = nullptr;
}

void show_seek_landing() {
    const unsigned char* kursor = held_draw;
    held_draw = nullptr;
    if (kursor != nullptr) draw_buffer(kursor);
}

void draw_buffer(const unsigned char* kursor) {
    if (replay_seeking()) {
        held_draw = kursor;
        return;
    }
    const ReplayShow* show = replay_show();
    if (show != nullptr && show->draw != nullptr)
        show->draw(kursor);
    else
        raw_draw_buffer(kursor);
}

void clear_screen() {
    held_draw = nullptr;
    const ReplayShow* show = replay_show();
    if (show != nullptr && show->clear != nullptr)
        show->clear();
    else
        raw_clear_screen();
}

void print_text(const char* text) {
    const ReplayShow* show = replay_show();
    if (show != nullptr && show->print != nullptr)
        show->print(text);
    else
        raw_print_text(text);
}

void ring_bell() {
    if (replay_seeking()) return;
    const ReplayShow* show = replay_show();
    if (show != nullptr && show->bell != nullptr)
        show->bell();
    else
        raw_ring_bell();
}

void park_cursor() {
    const ReplayShow* show = replay_show();
    if (show != nullptr && show->park != nullptr)
        show->park();
    else
        raw_park_cursor();
}

void hidecursor() {
    const ReplayShow* show = replay_show();
    if (show != nullptr && show->hide != nullptr)
        show->hide();
    else
        raw_hidecursor();
}
