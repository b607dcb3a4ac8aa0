// The entry: the command line read, then the maps played.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <new>
#include <vector>

#include "check/check.h"
#include "console/platform.h"
#include "edit/edit.h"
#include "history/names.h"
#include "history/scores.h"
#include "run/run.h"

namespace {

constexpr int usage_error = 2;

void print_usage(std::FILE* out) {
    std::fputs("Usage: dotmaze [MAP]...\n"
               "       dotmaze --check [--quiet] [MAP...]\n"
               "       dotmaze --edit MAP\n"
               "       dotmaze --record FILE [MAP]...\n"
               "       dotmaze --replay FILE [--speed N] [--cast OUT]\n"
               "       dotmaze --scores [MAP...]\n"
               "       dotmaze -h | --help\n"
               "       dotmaze --version\n",
               out);
}

void print_keys();

void print_help() {
    print_usage(stdout);
    std::fputs("\n"
               "Eat every dot on the board while three pursuers hunt you. You have three lives.\n"
               "MAP is the map file to play; without one, \"mapa.txt\" in the current directory.\n"
               "Several maps are played in turn as levels, the lives left carried to the next.\n"
               "\n"
               "Options:\n"
               "      --check    check each MAP for its author: show the board as the game\n"
               "                 reads it and what is wrong with it; status 1 on an error in\n"
               "                 any, such as a dot the player can never reach\n"
               "      --quiet    with --check: the findings and the summary only, no board\n"
               "      --edit     draw the map MAP (a new one if there is none) in the terminal,\n"
               "                 the checker's verdict beside it as you draw; its keys below\n"
               "      --record FILE\n"
               "                 play the MAPs and keep the game in the replay file FILE,\n"
               "                 written whole when the game ends, however it ends\n"
               "      --replay FILE\n"
               "                 show the game kept in FILE as it was played (keys below)\n"
               "      --speed N  replay N times as fast, N from 1 to 16\n"
               "      --cast OUT\n"
               "                 with --replay: no terminal; write the game as an asciicast\n"
               "                 to OUT (\"-\": standard output), for asciinema to play\n"
               "      --scores   list the ten best games on each MAP, or on every map played\n"
               "                 without one. Each map won or lost is kept in the scores file:\n"
               "                 ",
               stdout);
    std::puts(scores_file_shown());
    std::fputs("  -h, --help     show this help and exit\n"
               "      --version  print the version and exit\n"
               "      --         end the options, for a MAP whose name starts with \"-\"\n",
               stdout);
    print_keys();
}

void print_keys() {
    std::fputs("\n"
               "Keys:\n"
               "  arrow keys, or H P K M (upper case)   up, down, left, right\n"
               "  Escape                                quit at once\n"
               "\n"
               "Keys of a replay:\n"
               "  space                                 pause, and go on\n"
               "  .                                     one frame on, while paused\n"
               "  right / left arrow                    5 seconds of the game on / back\n"
               "  + / -                                 twice / half as fast\n"
               "  Escape                                stop\n"
               "\n"
               "Keys of --edit:\n"
               "  arrow keys, or H P K M                move the cursor\n"
               "  x  .  space                           a wall, a dot, open floor; then a step\n"
               "                                        on in the direction of the last arrow\n"
               "  m                                     mirror mode: each change at 31 - x too\n"
               "  u  r                                  undo, redo\n"
               "  s                                     save\n"
               "  p                                     play the board as it is now\n"
               "  q or Escape                           leave, asking first if unsaved\n"
               "\n"
               "The game needs a terminal of at least 80 columns by 41 rows.\n",
               stdout);
    if (const char* maps = shipped_maps_dir())
        std::printf("The maps that come with the game are in %s\n"
                    "To play them all as levels: dotmaze %s/*.txt\n",
                    shown_name(maps).c_str(), shown_name(maps).c_str());
#ifndef _WIN32 // no job control, and no manual, in a Windows console
    std::fputs("Ctrl-Z pauses the game and gives the terminal back; \"fg\" goes on with it.\n"
               "More in \"man dotmaze\".\n",
               stdout);
#endif
}

int usage_fault() {
    print_usage(stderr);
    return usage_error;
}

// What the user typed for the option getopt_long turned down. `arg` is the argument getopt
// finished with, or nullptr when it is still inside a group such as -xy: then, and when `arg`
// is a group, the fault is a short option's, and optopt holds its letter. A long option that
// exists but was given a value has its value in optopt.
void report_bad_option(const char* arg, const option* options) {
    if (arg == nullptr || arg[0] != '-' || arg[1] != '-')
        std::fprintf(stderr, "dotmaze: unknown option -%s\n",
                     shown_name(std::string(1, static_cast<char>(optopt))).c_str());
    else if (optopt == 0)
        std::fprintf(stderr, "dotmaze: unknown option %s\n", shown_name(arg).c_str());
    else {
        while (options->name != nullptr && options->val != optopt) ++options;
        std::fprintf(stderr, "dotmaze: option --%s takes no argument\n", options->name);
    }
}

// Standard output is fully buffered when redirected, so a write error (a full disk) shows only
// when it is flushed. Closing a standard output that was never open, with nothing written to
// it, is no error.
int close_stdout(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) &&
        (std::fclose(stdout) == 0 || errno == EBADF))
        return status;
    std::fprintf(stderr, "dotmaze: write error on standard output: %s\n", std::strerror(errno));
    return 1;
}

// --speed's N: a whole number from 1 to 16, or 0 for none.
int speed_of(const char* text) {
    int speed = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || speed > 16) return 0;
        speed = speed * 10 + (*c - '0');
    }
    return speed >= 1 && speed <= 16 ? speed : 0;
}

// What the command line asks for.
struct Options {
    bool check = false, quiet = false, scores = false, edit = false;
    const char* record = nullptr;
    const char* replay = nullptr;
    const char* speed = nullptr;
    const char* cast = nullptr;
};

constexpr int go_on = -1;

// Reads the options into `o`. Returns go_on, or the status to exit with at once: after the
// help or the version, or on a usage error (said on stderr). One table of the options and one
// switch over them.
int read_options(int argc, char** argv, Options& o) {
    enum {
        opt_version = 256,
        opt_check,
        opt_quiet,
        opt_record,
        opt_replay,
        opt_speed,
        opt_scores,
        opt_edit,
        opt_cast
    };
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                     {"version", no_argument, nullptr, opt_version},
                                     {"check", no_argument, nullptr, opt_check},
                                     {"quiet", no_argument, nullptr, opt_quiet},
                                     {"record", required_argument, nullptr, opt_record},
                                     {"replay", required_argument, nullptr, opt_replay},
                                     {"speed", required_argument, nullptr, opt_speed},
                                     {"scores", no_argument, nullptr, opt_scores},
                                     {"edit", no_argument, nullptr, opt_edit},
                                     {"cast", required_argument, nullptr, opt_cast},
                                     {nullptr, 0, nullptr, 0}};
    opterr = 0; // our own words for a usage error, the same on every system
    for (int opt, before = optind; (opt = getopt_long(argc, argv, ":h", options, nullptr)) != -1;
         before = optind) {
        switch (opt) {
        case 'h':
            print_help();
            return 0;
        case opt_version:
            std::printf("dotmaze %s\n", game_version());
            return 0;
        case opt_check:
            o.check = true;
            break;
        case opt_quiet:
            o.quiet = true;
            break;
        case opt_record:
            o.record = optarg;
            break;
        case opt_replay:
            o.replay = optarg;
            break;
        case opt_speed:
            o.speed = optarg;
            break;
        case opt_scores:
            o.scores = true;
            break;
        case opt_edit:
            o.edit = true;
            break;
        case opt_cast:
            o.cast = optarg;
            break;
        case ':':
            std::fprintf(stderr, "dotmaze: %s needs a value\n",
                         shown_name(argv[optind - 1]).c_str());
            return usage_fault();
        default:
            // Inside a group getopt has not moved on to the next argument.
            report_bad_option(optind > before ? argv[optind - 1] : nullptr, options);
            return usage_fault();
        }
    }
    return go_on;
}

// A usage error, said on stderr, when options that do not go together were given.
bool options_go_together(const Options& o, int maps_named) {
    const char* fault = nullptr;
    if (o.check + o.edit + o.scores + (o.record != nullptr) + (o.replay != nullptr) > 1)
        fault = "--check, --edit, --record, --replay and --scores go one at a time";
    else if (o.edit && maps_named != 1)
        fault = "--edit takes exactly one MAP";
    else if (o.speed != nullptr && (o.replay == nullptr || speed_of(o.speed) == 0))
        fault = "--speed goes with --replay, and N is 1 to 16";
    else if (o.cast != nullptr && (o.replay == nullptr || o.cast[0] == '\0'))
        fault = "--cast goes with --replay, and OUT is a file name or \"-\"";
    else if (o.replay != nullptr && maps_named)
        fault = "a replay holds its maps: no map goes with --replay";
    else if (o.quiet && !o.check)
        fault = "--quiet goes with --check";
    if (fault != nullptr) std::fprintf(stderr, "dotmaze: %s\n", fault);
    return fault == nullptr;
}

} // namespace

static int run(int argc, char** argv) {
    Options o;
    int status = read_options(argc, argv, o);
    if (status != go_on) return status;
    if (!options_go_together(o, argc - optind)) return usage_fault();
    std::vector<const char*> maps(argv + optind, argv + argc);
    if (o.scores) return show_best_games(maps);
    if (o.check) return check_maps(maps, o.quiet);

    static Game game; // about 11 KB, kept off the stack
    int speed = o.speed != nullptr ? speed_of(o.speed) : 1;
    if (o.cast != nullptr) return replay_game(game, o.replay, speed, o.cast); // no terminal
    status = o.edit                ? edit_map(game, maps[0])
             : o.replay != nullptr ? replay_game(game, o.replay, speed)
             : o.record != nullptr ? record_game(game, o.record, maps)
                                   : run_game(game, maps);
    quit_if_pending(); // one that came while the game's last files were written
    console_farewell();
    return status;
}

int main(int argc, char** argv) {
    int status = 1;
    // Memory running out (a file too large for it, say) ends the program with a word and the
    // terminal given back, not with an abort.
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc&) {
        console_close();
        std::fputs("dotmaze: out of memory\n", stderr);
    }
    return close_stdout(status);
}
