// The map editor's own costs, in process, where the pseudo-terminal's figures cannot part
// them: one live check of a 32 x 32 board, and one key's whole work short of the terminal
// (the change, its live check and the editor's screen built). Built by bench/run.sh.
//
//   edit_bench MAP [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "check/check.h"
#include "console/buffer.h"
#include "edit/editor.h"
#include "edit/view.h"
#include "game/map_reader.h"
#include "game/startup.h"

namespace {

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p / 100 * (v.size() - 1))];
}

void print_figure(const char* what, const std::vector<double>& ms, double target) {
    double p95 = percentile(ms, 95);
    std::printf("| %s | %.4f ms | %.4f ms | <= %.1f ms | %s |\n", what, percentile(ms, 50), p95,
                target, p95 <= target ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: edit_bench MAP [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? std::atoi(argv[2]) : 20000;
    char why[256];
    std::FILE* file = open_map(argv[1], why, sizeof why);
    if (file == nullptr) {
        std::fprintf(stderr, "edit_bench: %s: %s\n", argv[1], why);
        return 1;
    }
    Board board;
    read_board(board, file);
    static Editor e;
    open_editor(e, board, argv[1], true);
    static Screen screen;

    std::vector<double> check_ms, key_ms;
    long findings = 0; // used, so that no call is optimised away
    for (int i = 0; i < runs; ++i) {
        double t = now_ms();
        BoardVerdict verdict = check_cells(e.cells);
        check_ms.push_back(now_ms() - t);
        findings += verdict.errors + verdict.warnings;
    }
    // '.' and 'u' in turn: a dot under the cursor and a step on, then back as it was.
    for (int i = 0; i < runs; ++i) {
        double t = now_ms();
        edit_key(e, i % 2 == 0 ? '.' : 'u');
        BoardVerdict verdict = check_cells(e.cells);
        build_editor_screen(e, verdict, screen);
        key_ms.push_back(now_ms() - t);
        findings += verdict.errors + screen[0][0];
    }
    std::printf("| in process, %d runs each | median | p95 | target | verdict |\n", runs);
    std::printf("|---|---|---|---|---|\n");
    print_figure("one live check of a 32 x 32 board", check_ms, 0.5);
    print_figure("a key: the change, its live check, the screen built", key_ms, 2.0);
    return findings < 0; // never: the check ran
}
