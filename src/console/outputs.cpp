// The outputs the rules call, between them and the seam's raw ones: passed through, or, while
// a replay plays, shown as the replay's run asks. A seek holds every draw back but the last,
// and shows that one where it gets to: a clear wipes what was drawn before it, and the words
// printed go below the buffer or after a clear, so the screen comes out the same as if every
// draw had been shown. Nor does a seek ring the bell of each catch it passes.
#include "console/outputs.h"

#include "console/platform.h"

namespace {

const ReplayShow* show = nullptr;
bool held = false;
const unsigned char* held_draw = nullptr;

} // namespace

void show_outputs_through(const ReplayShow* through) {
    show = through;
    held = false;
    held_draw = nullptr;
}

void hold_outputs(bool hold) {
    held = hold;
    const unsigned char* kursor = held_draw;
    held_draw = nullptr;
    if (!hold && kursor != nullptr) draw_buffer(kursor);
}

void draw_buffer(const unsigned char* kursor) {
    if (held) {
        held_draw = kursor;
        return;
    }
    if (show != nullptr && show->draw != nullptr)
        show->draw(kursor);
    else
        raw_draw_buffer(kursor);
}

void clear_screen() {
    held_draw = nullptr;
    if (show != nullptr && show->clear != nullptr)
        show->clear();
    else
        raw_clear_screen();
}

void print_text(const char* text) {
    if (show != nullptr && show->print != nullptr)
        show->print(text);
    else
        raw_print_text(text);
}

void ring_bell() {
    if (held) return;
    if (show != nullptr && show->bell != nullptr)
        show->bell();
    else
        raw_ring_bell();
}

void park_cursor() {
    if (show != nullptr && show->park != nullptr)
        show->park();
    else
        raw_park_cursor();
}

void hidecursor() {
    if (show != nullptr && show->hide != nullptr)
        show->hide();
    else
        raw_hidecursor();
}
