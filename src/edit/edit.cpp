// The editor's run: the map read before the terminal is touched, then keys answered as they
// come, each followed by the checker's verdict and a redraw; the file written on `s`, the
// board played on `p`, and the unsaved changes kept beside the map when a quit signal comes.
#include "edit/edit.h"

#include <csignal>
#include <cstdio>

#include "check/check.h"
#include "console/platform.h"
#include "edit/view.h"
#include "game/map_reader.h"
#include "game/startup.h"
#include "history/names.h"
#include "run/run.h"

namespace {

// The longest wait for a key: the screen is drawn again after it all the same.
constexpr int key_wait_ms = 1000;

Editor editor;             // about 2 KB, kept off the stack
Editor* editing = nullptr; // for a quit signal, while the editor has the terminal

// The keys Ctrl-C and Ctrl-\ are the author's own choice to leave, as in the game; a hang-up,
// SIGTERM or a lost terminal are not, so the changes are kept, as nano keeps them.
bool authors_own_quit(int sig) {
#ifdef SIGQUIT
    if (sig == SIGQUIT) return true;
#endif
    return sig == SIGINT;
}

// Called by the seam in normal context, the terminal given back, before the process dies.
void keep_changes_on_quit(int sig) {
    if (editing == nullptr || !is_changed(*editing) || authors_own_quit(sig)) return;
    const Editor& e = *editing;
    std::string rescue = rescue_name(e.name);
    std::string text = save_text(e.cells);
    char why[256] = "every name for it is taken";
    if (!rescue.empty() && replace_file(rescue.c_str(), text.data(), static_cast<long>(text.size()),
                                        0666, why, sizeof why))
        std::fprintf(stderr, "dotmaze: the unsaved changes to \"%s\" are in \"%s\"\n",
                     shown_name(e.name).c_str(), shown_name(rescue).c_str());
    else
        std::fprintf(stderr, "dotmaze: the unsaved changes to \"%s\" are lost: %s\n",
                     shown_name(e.name).c_str(), shown_name(why).c_str());
}

std::string count_of(long n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

void save(Editor& e, const BoardVerdict& verdict) {
    std::string why;
    if (!save_map(e, why)) {
        e.message = "not saved: " + why;
        return;
    }
    e.message = "saved " + e.name;
    if (verdict.errors > 0)
        e.message +=
            ", with " +
            count_of(verdict.errors, "error").append(": the game cannot be played as meant");
}

// The board as it is now, as a game of its own; then the editor's screen whole again.
void play(Game& g, const Editor& e) {
    char label[map_label_cols + 1];
    std::snprintf(label, sizeof label, "trying %s", base_name(e.name.c_str()));
    play_map(g, board_of(e.cells), starting_lives, label);
    clear_screen();
}

// Keys answered until the author leaves.
void edit(Game& g, Editor& e) {
    static Screen screen;
    BoardVerdict verdict = check_cells(e.cells);
    for (;;) {
        build_editor_screen(e, verdict, screen);
        show_cursor_at(e.y, e.x);
        draw_buffer(&screen[0][0]);
        if (!wait_for_key(key_wait_ms)) continue;
        while (key_waiting()) {
            Action action = edit_key(e, read_key() & 0xFF);
            if (action == Action::save || action == Action::save_and_leave) {
                save(e, verdict = check_cells(e.cells));
                if (action == Action::save_and_leave && !is_changed(e)) return;
            } else if (action == Action::play) {
                play(g, e);
            } else if (action == Action::leave) {
                return;
            }
        }
        verdict = check_cells(e.cells);
    }
}

} // namespace

bool open_map_file(Editor& e, const char* name, bool& quirks) {
    quirks = false;
    if (!path_exists(name)) {
        open_editor(e, new_board(), name, false);
        return true;
    }
    std::FILE* file = open_map_or_report(name);
    if (file == nullptr) return false;
    std::string text;
    read_to_limit(file, max_map_bytes, &text);
    std::rewind(file);
    Board board;
    read_board(board, file); // the board exactly as a game reads it
    open_editor(e, board, name, true);
    quirks = text != save_text(e.cells);
    return true;
}

bool save_map(Editor& e, std::string& why) {
    std::string text = save_text(e.cells);
    char reason[256] = "";
    if (!replace_file(e.name.c_str(), text.data(), static_cast<long>(text.size()), 0666, reason,
                      sizeof reason)) {
        why = reason;
        return false;
    }
    mark_saved(e);
    return true;
}

std::string rescue_name(const std::string& name) {
    for (int n = 0; n < 1000; ++n) {
        // Built with += rather than +, which GCC 12 wrongly warns about when optimising.
        std::string rescue = name;
        rescue += ".save";
        if (n > 0) rescue += '.', rescue += std::to_string(n);
        if (!path_exists(rescue.c_str())) return rescue;
    }
    return "";
}

int edit_map(Game& g, const char* name) {
    Editor& e = editor;
    bool quirks = false;
    if (!open_map_file(e, name, quirks)) return 1;
    if (!open_console_or_report()) return 1;
    if (quirks)
        e.message = "this file reads with quirks (dotmaze --check tells which): the board shows "
                    "what the game reads, and saving writes it clean";
    else if (!e.on_disk)
        e.message = "a new map: s writes it to " + e.name;
    editing = &e;
    call_before_quitting(keep_changes_on_quit);
    edit(g, e);
    call_before_quitting(nullptr);
    editing = nullptr;
    console_close();
    return 0;
}
