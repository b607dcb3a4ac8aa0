// Runs the real game in a pseudo-terminal and measures it from the outside: what it writes to
// the terminal and when, how much CPU and memory it takes, how steady its mob ticks are, how
// fast a key shows up on the screen and how long it takes to draw its first frame; then the
// map editor's answer to a key (dotmaze --edit on a copy of the map).
//
//   ptybench GAME MAP_DIR [--phase-seconds S] [--starts N] [--dump FILE]
//
// Everything is timed with CLOCK_MONOTONIC in this process; the game is never told it is
// being watched. Prints one table and exits 0 when the game behaved (frames seen, Escape
// quit with status 0), 1 otherwise. Whether the figures meet their targets does not change
// the exit status: the table says so.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int term_cols = 80, term_rows = 45;
constexpr double tick_ms = 200.0;
// Writes of one pass come out within a millisecond; passes are about 40 ms apart.
constexpr double burst_gap_ms = 10.0;
constexpr int frame_cells = 40 * 80 - 1;
constexpr const char* shade_utf8 = "\xe2\x96\x91";
constexpr double frame_timeout_ms = 3000.0;
constexpr double exit_timeout_ms = 3000.0;

double now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// ---- children are never left behind ------------------------------------------------------

std::vector<pid_t> live_children;

void kill_children() {
    for (pid_t pid : live_children)
        if (pid > 0) kill(pid, SIGKILL);
}

void on_fatal_signal(int sig) {
    kill_children();
    signal(sig, SIG_DFL);
    raise(sig);
}

void forget_child(pid_t pid) {
    live_children.erase(std::remove(live_children.begin(), live_children.end(), pid),
                        live_children.end());
}

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "ptybench: %s\n", why.c_str());
    kill_children();
    std::exit(1);
}

// ---- what the game wrote, with the terminal's control sequences taken out ------------------

struct Chunk {
    double t;
    std::size_t bytes;
    std::string text; // printable bytes only (UTF-8 kept whole)
};

// Strips escape sequences and control characters; keeps its state across reads, since a
// write can be cut anywhere. A cursor movement such as ESC [ 3 A must not count as an `A`.
class TextFilter {
  public:
    std::string feed(const char* data, std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(data[i]);
            switch (state_) {
            case State::ground:
                if (c == 0x1B)
                    state_ = State::escape;
                else if (c >= 0x20 && c != 0x7F)
                    out += static_cast<char>(c);
                break;
            case State::escape:
                if (c == '[')
                    state_ = State::csi;
                else if (c == ']' || c == 'P' || c == '_' || c == '^')
                    state_ = State::string;
                else if (c == '(' || c == ')' || c == '*' || c == '+' || c == '#')
                    state_ = State::one_more;
                else
                    state_ = State::ground;
                break;
            case State::csi:
                if (c >= 0x40 && c <= 0x7E) state_ = State::ground;
                break;
            case State::string:
                if (c == 0x07) state_ = State::ground;
                if (c == 0x1B) state_ = State::string_escape;
                break;
            case State::string_escape:
                state_ = c == '\\' ? State::ground : State::string;
                break;
            case State::one_more:
                state_ = State::ground;
                break;
            }
        }
        return out;
    }

  private:
    enum class State { ground, escape, csi, string, string_escape, one_more };
    State state_ = State::ground;
};

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// ---- the game in a pseudo-terminal ---------------------------------------------------------

struct Game {
    pid_t pid = -1;
    int fd = -1;
    double start_t = 0; // just before the fork: on a busy machine this process may wake late
                        // from the exec pipe, so that moment is a safer origin than its end
    bool exited = false;
    int status = 0;
    rusage usage{};
    TextFilter filter;
    std::vector<Chunk> chunks;
    std::string all_text;
    std::FILE* dump = nullptr;
};

// `args` go to the game after its name: none plays mapa.txt in `map_dir`.
void start_game(Game& g, const std::string& game_path, const std::string& map_dir,
                const std::vector<std::string>& args = {}) {
    // Closed by a successful exec; a failed one writes its errno.
    int exec_pipe[2];
    if (pipe2(exec_pipe, O_CLOEXEC) != 0) fail("pipe2: " + std::string(std::strerror(errno)));

    winsize size{};
    size.ws_col = term_cols;
    size.ws_row = term_rows;
    int fd = -1;
    const double before_fork = now_ms();
    pid_t pid = forkpty(&fd, nullptr, nullptr, &size);
    if (pid < 0) fail("forkpty: " + std::string(std::strerror(errno)));
    if (pid == 0) {
        close(exec_pipe[0]);
        if (chdir(map_dir.c_str()) != 0) _exit(126);
        setenv("TERM", "xterm-256color", 1);
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        unsetenv("LINES");
        unsetenv("COLUMNS");
        std::vector<char*> argv = {const_cast<char*>("dotmaze")};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(game_path.c_str(), argv.data());
        int err = errno;
        (void)!write(exec_pipe[1], &err, sizeof err);
        _exit(127);
    }
    live_children.push_back(pid);
    close(exec_pipe[1]);
    int err = 0;
    ssize_t got;
    while ((got = read(exec_pipe[0], &err, sizeof err)) < 0 && errno == EINTR) {}
    g.start_t = before_fork;
    close(exec_pipe[0]);
    if (got > 0) fail("cannot run " + game_path + ": " + std::strerror(err));
    g.pid = pid;
    g.fd = fd;
}

// Reads whatever the game writes until `until` (or until the terminal closes).
void pump(Game& g, double until) {
    char buf[65536];
    while (g.fd >= 0) {
        double left = until - now_ms();
        if (left <= 0) return;
        timespec timeout{static_cast<time_t>(left / 1000),
                         static_cast<long>(std::fmod(left, 1000.0) * 1e6)};
        pollfd p{g.fd, POLLIN, 0};
        int r = ppoll(&p, 1, &timeout, nullptr);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) fail("ppoll: " + std::string(std::strerror(errno)));
        if (r == 0) return;
        ssize_t n = read(g.fd, buf, sizeof buf);
        double t = now_ms();
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) { // EIO: the game closed its side of the terminal
            close(g.fd);
            g.fd = -1;
            return;
        }
        if (g.dump != nullptr)
            std::fprintf(g.dump, "%.3f %zd\n", t - g.start_t, n), std::fwrite(buf, 1, n, g.dump),
                std::fputc('\n', g.dump);
        Chunk c{t, static_cast<std::size_t>(n), g.filter.feed(buf, n)};
        g.all_text += c.text;
        g.chunks.push_back(std::move(c));
    }
}

void send(Game& g, const char* bytes, std::size_t n) {
    if (g.fd < 0 || write(g.fd, bytes, n) != static_cast<ssize_t>(n))
        fail("cannot write to the game's terminal");
}

// Sends Escape, drains the output and reaps the game; kills it if it does not go.
void quit_game(Game& g) {
    send(g, "\x1b", 1);
    double deadline = now_ms() + exit_timeout_ms;
    while (!g.exited) {
        pump(g, std::min(deadline, now_ms() + 20));
        int status = 0;
        pid_t r = wait4(g.pid, &status, WNOHANG, &g.usage);
        if (r == g.pid) {
            g.exited = true;
            g.status = status;
            forget_child(g.pid);
        } else if (now_ms() > deadline) {
            kill(g.pid, SIGKILL);
            wait4(g.pid, &status, 0, &g.usage);
            forget_child(g.pid);
            fail("the game did not quit on Escape within 3 s");
        }
    }
    if (g.fd >= 0) close(g.fd);
    g.fd = -1;
}

bool exited_cleanly(const Game& g) {
    return g.exited && WIFEXITED(g.status) && WEXITSTATUS(g.status) == 0;
}

// The first frame is whole once the panel's label has gone out and every shaded cell of the
// board and the panel with it (curses draws top to bottom, and sends each shade in full).
double wait_first_frame(Game& g, std::size_t shade_cells) {
    double deadline = g.start_t + frame_timeout_ms;
    while (now_ms() < deadline && g.fd >= 0) {
        pump(g, std::min(deadline, now_ms() + 5));
        if (g.all_text.find("LIVES") != std::string::npos &&
            count_of(g.all_text, shade_utf8) >= shade_cells) {
            // The time of the read that completed it.
            std::string text;
            std::size_t shades = 0;
            for (const Chunk& c : g.chunks) {
                text += c.text;
                shades = count_of(text, shade_utf8);
                if (text.find("LIVES") != std::string::npos && shades >= shade_cells)
                    return c.t - g.start_t;
            }
        }
    }
    fail("no complete first frame within 3 s");
}

// ---- /proc -----------------------------------------------------------------------------------

struct ProcSample {
    double t;
    double cpu_ms;   // utime + stime
    double sched_ms; // time on a CPU, in nanoseconds in the kernel's own accounting
    long voluntary_switches;
    long hwm_kib;
};

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ProcSample sample(pid_t pid) {
    ProcSample s{};
    s.t = now_ms();
    std::string base = "/proc/" + std::to_string(pid);
    std::string stat = read_file(base + "/stat");
    std::size_t close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) fail("cannot read " + base + "/stat");
    std::istringstream fields(stat.substr(close_paren + 2));
    std::string field;
    // Fields from the state (field 3) on; utime and stime are fields 14 and 15.
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    s.cpu_ms = (utime + stime) * 1000.0 / sysconf(_SC_CLK_TCK);
    std::istringstream sched(read_file(base + "/schedstat"));
    unsigned long long run_ns = 0;
    sched >> run_ns;
    s.sched_ms = run_ns / 1e6;
    std::istringstream status(read_file(base + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            s.voluntary_switches = std::stol(line.substr(24));
        if (line.rfind("VmHWM:", 0) == 0) s.hwm_kib = std::stol(line.substr(6));
    }
    return s;
}

// How busy the whole machine was: other work on it stretches the game's sleeps.
struct MachineSample {
    double busy = 0, total = 0;
};

MachineSample machine_sample() {
    std::istringstream in(read_file("/proc/stat"));
    std::string cpu;
    in >> cpu;
    MachineSample m;
    double v;
    for (int i = 0; i < 10 && in >> v; ++i) {
        m.total += v;
        if (i != 3 && i != 4) m.busy += v; // all but idle and iowait
    }
    return m;
}

// ---- statistics ------------------------------------------------------------------------------

// Linear interpolation between the closest ranks.
double percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    double pos = p / 100.0 * (v.size() - 1);
    std::size_t lo = static_cast<std::size_t>(pos);
    std::size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (pos - lo);
}

struct Bursts {
    std::vector<double> start;
    std::vector<std::string> text;
};

// Groups reads that come out of one pass of the game.
Bursts bursts_between(const std::vector<Chunk>& chunks, double from, double to) {
    Bursts b;
    double last = -1e18;
    for (const Chunk& c : chunks) {
        if (c.t < from || c.t >= to) continue;
        if (c.t - last > burst_gap_ms) {
            b.start.push_back(c.t);
            b.text.emplace_back();
        }
        b.text.back() += c.text;
        last = c.t;
    }
    return b;
}

struct TickStats {
    std::size_t seen = 0;
    long due = 0; // ticks the 200 ms grid had made due by the phase's end
    double median = NAN, p5 = NAN, p95 = NAN;
    double drift = NAN;    // (last - first) - 200 ms x (ticks - 1)
    double slope = NAN;    // least-squares ms per tick
    double late_med = NAN; // behind the game's 200 ms grid
    double late_p95 = NAN;
    double late_max = NAN;
    double late_min = NAN;
};

struct Tick {
    double t;
    long n; // tick n is due at the first frame + n x 200 ms
};

// Mob 1 walks every tick, so every tick writes an `A`; the player's moves (in row 1, far from
// the mobs) write only `*`, spaces and the score. The game never skips a tick (after a stall
// it catches up, one per pass), so the k-th burst with an `A` is tick k.
std::vector<Tick> find_ticks(const std::vector<Chunk>& chunks, double first_frame) {
    Bursts b = bursts_between(chunks, first_frame + 1, 1e18);
    std::vector<Tick> ticks;
    for (std::size_t i = 0; i < b.start.size(); ++i)
        if (b.text[i].find('A') != std::string::npos)
            ticks.push_back({b.start[i], static_cast<long>(ticks.size() + 1)});
    return ticks;
}

TickStats tick_stats(const std::vector<Tick>& all, double from, double to, double grid_origin) {
    std::vector<Tick> ticks;
    for (const Tick& k : all)
        if (k.t >= from && k.t < to) ticks.push_back(k);
    TickStats s;
    s.seen = ticks.size();
    s.due = static_cast<long>((to - grid_origin) / tick_ms) -
            static_cast<long>((from - grid_origin) / tick_ms);
    if (ticks.size() < 3) return s;
    std::vector<double> intervals, late;
    for (std::size_t i = 1; i < ticks.size(); ++i) intervals.push_back(ticks[i].t - ticks[i - 1].t);
    for (const Tick& k : ticks) late.push_back(k.t - grid_origin - tick_ms * k.n);
    s.median = percentile(intervals, 50);
    s.p5 = percentile(intervals, 5);
    s.p95 = percentile(intervals, 95);
    s.drift = late.back() - late.front();
    double n = ticks.size(), sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Tick& k : ticks) {
        double x = static_cast<double>(k.n - ticks.front().n), y = k.t - ticks.front().t;
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    s.slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    s.late_med = percentile(late, 50);
    s.late_p95 = percentile(late, 95);
    s.late_max = percentile(late, 100);
    s.late_min = percentile(late, 0);
    return s;
}

struct PhaseStats {
    double seconds = 0;
    std::size_t bytes = 0;
    double cpu_pct = 0, sched_pct = 0;
    double passes_per_s = 0;
    long hwm_kib = 0;
    TickStats ticks;
    std::vector<double> latencies, move_times;
    std::size_t keys_sent = 0, stray_moves = 0;
};

PhaseStats phase_stats(const Game& g, const ProcSample& a, const ProcSample& b,
                       const std::vector<Tick>& ticks, double grid_origin) {
    PhaseStats p;
    double wall = b.t - a.t;
    p.seconds = wall / 1000;
    for (const Chunk& c : g.chunks)
        if (c.t >= a.t && c.t < b.t) p.bytes += c.bytes;
    p.cpu_pct = 100 * (b.cpu_ms - a.cpu_ms) / wall;
    p.sched_pct = 100 * (b.sched_ms - a.sched_ms) / wall;
    // Each pass sleeps twice and blocks nowhere else.
    p.passes_per_s = (b.voluntary_switches - a.voluntary_switches) / 2.0 / p.seconds;
    p.hwm_kib = b.hwm_kib;
    p.ticks = tick_stats(ticks, a.t, b.t, grid_origin);
    return p;
}

// ---- the table ------------------------------------------------------------------------------

std::string fmt(const char* f, double v) {
    if (std::isnan(v)) return "n/a";
    char buf[64];
    std::snprintf(buf, sizeof buf, f, v);
    std::string out = buf;
    // No "-0" for a value that rounds to nothing.
    if (out[0] == '-') {
        std::size_t number_end = std::min(out.find_first_not_of("0123456789.", 1), out.size());
        if (out.substr(1, number_end - 1).find_first_not_of("0.") == std::string::npos)
            out.erase(0, 1);
    }
    return out;
}

std::string lateness(const TickStats& t) {
    return fmt("%.0f", t.late_min) + "/" + fmt("%.0f", t.late_med) + "/" + fmt("%.0f", t.late_p95) +
           "/" + fmt("%.0f ms", t.late_max);
}

struct Row {
    std::string what, idle, keys, target, verdict;
};

std::string verdict(bool idle_ok, bool keys_ok) {
    if (idle_ok && keys_ok) return "met";
    if (!idle_ok && !keys_ok) return "MISSED (both)";
    return idle_ok ? "MISSED (keys)" : "MISSED (idle)";
}

void print_table(const std::vector<Row>& rows) {
    std::size_t w[5] = {0, 0, 0, 0, 0};
    Row head{"measure", "idle", "key every 50 ms", "target", "verdict"};
    auto widen = [&](const Row& r) {
        w[0] = std::max(w[0], r.what.size());
        w[1] = std::max(w[1], r.idle.size());
        w[2] = std::max(w[2], r.keys.size());
        w[3] = std::max(w[3], r.target.size());
        w[4] = std::max(w[4], r.verdict.size());
    };
    widen(head);
    for (const Row& r : rows) widen(r);
    auto line = [&](const Row& r) {
        std::printf("| %-*s | %*s | %*s | %-*s | %-*s |\n", int(w[0]), r.what.c_str(), int(w[1]),
                    r.idle.c_str(), int(w[2]), r.keys.c_str(), int(w[3]), r.target.c_str(),
                    int(w[4]), r.verdict.c_str());
    };
    line(head);
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(w[0] + 2, '-').c_str(),
                std::string(w[1] + 2, '-').c_str(), std::string(w[2] + 2, '-').c_str(),
                std::string(w[3] + 2, '-').c_str(), std::string(w[4] + 2, '-').c_str());
    for (const Row& r : rows) line(r);
}

// Shaded cells of a whole frame: the map's walls and the panel (rows 33-39, columns 2-69)
// less its two five-letter labels.
std::size_t shaded_cells(const std::string& map_dir) {
    std::ifstream in(map_dir + "/mapa.txt");
    if (!in) fail("cannot read " + map_dir + "/mapa.txt");
    std::string line;
    std::size_t walls = 0;
    for (int row = 0; row < 32 && std::getline(in, line); ++row)
        for (int col = 0; col < 32 && col < static_cast<int>(line.size()); ++col)
            walls += line[col] == 'X';
    return walls + 7 * 68 - 10;
}

// ---- the phases ------------------------------------------------------------------------------

struct Settings {
    std::string game_path, map_dir, dump_path;
    double phase_s = 10;
    int starts = 5;
};

Settings read_settings(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ptybench GAME MAP_DIR [--phase-seconds S] [--starts N] "
                             "[--dump FILE]\n");
        std::exit(2);
    }
    Settings s;
    // Absolute, since the game runs in the map's directory.
    char resolved[4096];
    if (realpath(argv[1], resolved) == nullptr) fail(std::string("no game at ") + argv[1]);
    s.game_path = resolved;
    if (realpath(argv[2], resolved) == nullptr) fail(std::string("no map directory ") + argv[2]);
    s.map_dir = resolved;
    for (int i = 3; i + 1 < argc; i += 2) {
        std::string opt = argv[i];
        if (opt == "--phase-seconds")
            s.phase_s = std::atof(argv[i + 1]);
        else if (opt == "--starts")
            s.starts = std::atoi(argv[i + 1]);
        else if (opt == "--dump")
            s.dump_path = argv[i + 1];
        else
            fail("unknown option " + opt);
    }
    return s;
}

// Start-up: from just before the fork to a whole first frame, several times.
std::vector<double> measure_startups(const Settings& s, std::size_t shade_cells, int& clean_exits) {
    std::vector<double> startup;
    for (int i = 0; i < s.starts; ++i) {
        Game g;
        start_game(g, s.game_path, s.map_dir);
        startup.push_back(wait_first_frame(g, shade_cells));
        quit_game(g);
        clean_exits += exited_cleanly(g);
    }
    return startup;
}

// What the phase with keys saw of them: each key sent waits in `pending` for the move it makes.
struct KeyPhase {
    std::vector<double> latencies, move_times;
    std::size_t keys_sent = 0, stray = 0;
    std::deque<double> pending;
    std::size_t scanned = 0; // of the game's chunks
};

// Each player drawn since the last call is the move of the oldest key still waiting.
void match_moves(const Game& g, KeyPhase& k) {
    for (; k.scanned < g.chunks.size(); ++k.scanned)
        for (char c : g.chunks[k.scanned].text) {
            if (c != '*') continue;
            if (k.pending.empty()) {
                ++k.stray;
                continue;
            }
            k.latencies.push_back(g.chunks[k.scanned].t - k.pending.front());
            k.move_times.push_back(g.chunks[k.scanned].t);
            k.pending.pop_front();
        }
}

// Right and left in row 1, the only row the mobs never enter: no life is lost. A key every
// 50 ms on average, each up to 5 ms early or late, so that the keys cannot lock onto the
// game's passes (a whole number of which may fit in 50 ms x n) and measure one phase only.
// They stay at least 40 ms apart: one pass's worth.
KeyPhase send_keys(Game& g, double keys_start, double phase_s) {
    KeyPhase k;
    k.scanned = g.chunks.size();
    const double key_period = 50, key_jitter = 5;
    std::srand(12345);
    auto jitter = [&]() { return key_jitter * (2.0 * std::rand() / RAND_MAX - 1); };
    double grid_key = keys_start + key_jitter;
    double next_key = grid_key + jitter();
    while (next_key < keys_start + phase_s * 1000) {
        pump(g, next_key);
        match_moves(g, k);
        const char key = k.keys_sent % 2 == 0 ? 'M' : 'K';
        double t = now_ms();
        send(g, &key, 1);
        k.pending.push_back(t);
        ++k.keys_sent;
        grid_key += key_period;
        next_key = grid_key + jitter();
    }
    pump(g, keys_start + phase_s * 1000);
    return k;
}

// The editor on a copy of the map, in a folder of its own (it never saves here, and a quit
// signal's rescue file would land there): keys that change the board, each answered with
// the live check and a redraw. '.' puts a dot under the cursor and steps on, 'u' undoes it and
// steps back: the board, the verdict, the message and the cursor change with every key. A key
// every 50 ms, each timed from its write to the first output after it.
struct EditorPhase {
    std::vector<double> latencies;
    std::size_t keys_sent = 0;
    bool exit_clean = false;
};

EditorPhase measure_editor(const Settings& s) {
    EditorPhase e;
    char folder[] = "/tmp/ptybench-edit-XXXXXX";
    if (mkdtemp(folder) == nullptr) fail("mkdtemp: " + std::string(std::strerror(errno)));
    std::string map = std::string(folder) + "/mapa.txt";
    {
        std::ifstream in(s.map_dir + "/mapa.txt", std::ios::binary);
        std::ofstream out(map, std::ios::binary);
        out << in.rdbuf();
    }
    Game g;
    start_game(g, s.game_path, folder, {"--edit", "mapa.txt"});
    double deadline = now_ms() + frame_timeout_ms;
    while (g.all_text.find("no errors") == std::string::npos && now_ms() < deadline)
        pump(g, std::min(deadline, now_ms() + 5));
    if (g.all_text.find("no errors") == std::string::npos) fail("no editor within 3 s");
    pump(g, now_ms() + 300);
    for (double end = now_ms() + s.phase_s * 1000; now_ms() < end || e.keys_sent % 2 == 1;) {
        const char key = e.keys_sent % 2 == 0 ? '.' : 'u';
        std::size_t seen = g.chunks.size();
        double sent = now_ms();
        send(g, &key, 1);
        ++e.keys_sent;
        pump(g, sent + 50);
        if (g.chunks.size() > seen) e.latencies.push_back(g.chunks[seen].t - sent);
    }
    quit_game(g); // Escape: every '.' undone, so nothing to ask about
    e.exit_clean = exited_cleanly(g);
    unlink(map.c_str());
    rmdir(folder);
    return e;
}

// Everything the run measured, for the table.
struct Results {
    PhaseStats idle, keys;
    TickStats whole;
    KeyPhase key_phase;
    EditorPhase editor;
    std::vector<double> startup;
    MachineSample machine_a, machine_b;
    int clean_exits = 0, runs = 0;
    bool main_exit_clean = false;
    std::size_t shade_cells = 0;
    double frame_bytes = 0;
};

// One game: settle, 10 s untouched, then 10 s with a key every 50 ms.
void measure_game(const Settings& s, Results& r) {
    Game g;
    if (!s.dump_path.empty()) g.dump = std::fopen(s.dump_path.c_str(), "w");
    start_game(g, s.game_path, s.map_dir);
    double first_frame = g.start_t + wait_first_frame(g, r.shade_cells);
    // The game's tick grid starts just before its first frame goes out.
    double grid_origin = first_frame;
    pump(g, now_ms() + 500);

    ProcSample idle_a = sample(g.pid);
    r.machine_a = machine_sample();
    pump(g, idle_a.t + s.phase_s * 1000);
    ProcSample idle_b = sample(g.pid);
    r.key_phase = send_keys(g, idle_b.t, s.phase_s);
    ProcSample keys_b = sample(g.pid);
    r.machine_b = machine_sample();
    pump(g, now_ms() + 300); // the last keys' moves
    KeyPhase& k = r.key_phase;
    match_moves(g, k);

    std::vector<Tick> ticks = find_ticks(g.chunks, first_frame);
    r.idle = phase_stats(g, idle_a, idle_b, ticks, grid_origin);
    r.keys = phase_stats(g, idle_b, keys_b, ticks, grid_origin);
    r.whole = tick_stats(ticks, idle_a.t, keys_b.t, grid_origin);
    // While keys come in, the game's voluntary context switches run above two per pass (about
    // 28 "passes" a second were counted that way), so they no longer count its passes; the
    // spacing of moves made in back-to-back passes does.
    std::vector<double> pass_gaps;
    for (std::size_t i = 1; i < k.move_times.size(); ++i) {
        double d = k.move_times[i] - k.move_times[i - 1];
        if (d > 20 && d < 60) pass_gaps.push_back(d);
    }
    if (!pass_gaps.empty()) r.keys.passes_per_s = 1000 / percentile(pass_gaps, 50);

    quit_game(g);
    if (g.dump != nullptr) std::fclose(g.dump);
    r.main_exit_clean = exited_cleanly(g);
    r.clean_exits += r.main_exit_clean;
}

// ---- the report --------------------------------------------------------------------------------

std::string count_text(std::size_t n) {
    return fmt("%.0f", static_cast<double>(n));
}

void add_output_rows(std::vector<Row>& rows, const Results& r) {
    const PhaseStats &idle = r.idle, &keys = r.keys;
    double idle_bps = idle.bytes / idle.seconds, keys_bps = keys.bytes / keys.seconds;
    rows.push_back({"output, bytes/s", fmt("%.0f", idle_bps), fmt("%.0f", keys_bps),
                    "<= 1024 idle, <= 3072 keys", verdict(idle_bps <= 1024, keys_bps <= 3072)});
    rows.push_back({"full redraw every pass, bytes/s",
                    fmt("%.0f", r.frame_bytes * idle.passes_per_s),
                    fmt("%.0f", r.frame_bytes * keys.passes_per_s),
                    fmt("baseline: %.0f B/frame x passes/s", r.frame_bytes), ""});
    rows.push_back({"output / full redraw",
                    fmt("%.2f %%", 100 * idle_bps / (r.frame_bytes * idle.passes_per_s)),
                    fmt("%.2f %%", 100 * keys_bps / (r.frame_bytes * keys.passes_per_s)), "", ""});
    rows.push_back({"passes/s (idle: sleeps/2; keys: moves)", fmt("%.2f", idle.passes_per_s),
                    fmt("%.2f", keys.passes_per_s), "about 25", ""});
    rows.push_back({"CPU user+sys, % of a core", fmt("%.2f %%", idle.cpu_pct),
                    fmt("%.2f %%", keys.cpu_pct), "<= 1 % idle, <= 2 % keys",
                    verdict(idle.cpu_pct <= 1, keys.cpu_pct <= 2)});
    rows.push_back({"CPU on-core (schedstat), % of a core", fmt("%.3f %%", idle.sched_pct),
                    fmt("%.3f %%", keys.sched_pct), "(finer cross-check)", ""});
    rows.push_back({"peak memory VmHWM, MiB", fmt("%.2f", idle.hwm_kib / 1024.0),
                    fmt("%.2f", keys.hwm_kib / 1024.0), "<= 8 MiB",
                    verdict(idle.hwm_kib <= 8192, keys.hwm_kib <= 8192)});
}

void add_tick_rows(std::vector<Row>& rows, const Results& r) {
    const PhaseStats &idle = r.idle, &keys = r.keys;
    auto tick_row = [&](const char* what, double TickStats::*f, const char* target, bool judge,
                        auto ok) {
        rows.push_back({what, fmt("%.1f ms", idle.ticks.*f), fmt("%.1f ms", keys.ticks.*f), target,
                        judge ? verdict(ok(idle.ticks.*f), ok(keys.ticks.*f)) : ""});
    };
    rows.push_back({"ticks seen / due by the 200 ms grid",
                    count_text(idle.ticks.seen) + " / " + count_text(idle.ticks.due),
                    count_text(keys.ticks.seen) + " / " + count_text(keys.ticks.due),
                    "equal, or one short", ""});
    tick_row("tick interval median", &TickStats::median, "200 +- 5 ms", true,
             [](double v) { return std::fabs(v - 200) <= 5; });
    tick_row("tick interval p5", &TickStats::p5, "", false, [](double) { return true; });
    tick_row("tick interval p95", &TickStats::p95, "<= 215 ms", true,
             [](double v) { return v <= 215; });
    // With an absolute clock the lateness behind the grid stays below one pass (about 40 ms)
    // however long the game runs; a clock that counted from the last tick would add up past it.
    tick_row("drift: last-first - 200 ms x (ticks-1)", &TickStats::drift, "|d| < 40 ms (one pass)",
             true, [](double v) { return std::fabs(v) < 40; });
    rows.push_back({"drift over both phases (20 s)", fmt("%.1f ms", r.whole.drift), "",
                    "|d| < 40 ms over " + count_text(r.whole.seen) + " ticks",
                    std::fabs(r.whole.drift) < 40 ? "met" : "MISSED"});
    rows.push_back({"tick fit slope, ms/tick", fmt("%.3f", idle.ticks.slope),
                    fmt("%.3f", keys.ticks.slope), fmt("200 (both phases: %.3f)", r.whole.slope),
                    ""});
    rows.push_back({"tick lateness behind grid min/med/p95/max", lateness(idle.ticks),
                    lateness(keys.ticks), "within one pass (0-40 ms)", ""});
}

void add_key_and_start_rows(std::vector<Row>& rows, const Results& r) {
    const KeyPhase& k = r.key_phase;
    double lat_med = percentile(k.latencies, 50), lat_p95 = percentile(k.latencies, 95);
    rows.push_back({"key to screen, median", "", fmt("%.1f ms", lat_med), "<= 25 ms",
                    lat_med <= 25 ? "met" : "MISSED"});
    rows.push_back({"key to screen, p95", "", fmt("%.1f ms", lat_p95), "<= 45 ms",
                    lat_p95 <= 45 ? "met" : "MISSED"});
    rows.push_back({"keys sent / moves seen / stray", "",
                    count_text(k.keys_sent) + " / " + count_text(k.latencies.size()) + " / " +
                        count_text(k.stray),
                    "all matched",
                    k.latencies.size() == k.keys_sent && k.stray == 0 ? "ok" : "MISMATCH"});
    double start_med = percentile(r.startup, 50);
    rows.push_back(
        {"start-up, fork+exec to whole frame (median of " + count_text(r.startup.size()) + ")",
         fmt("%.1f ms", start_med),
         fmt("min %.1f", percentile(r.startup, 0)) +
             fmt(" / max %.1f ms", percentile(r.startup, 100)),
         "<= 50 ms", start_med <= 50 ? "met" : "MISSED"});
    const EditorPhase& e = r.editor;
    rows.push_back(
        {"editor: key to screen, median", "", fmt("%.2f ms", percentile(e.latencies, 50)), "", ""});
    double edit_p95 = percentile(e.latencies, 95);
    rows.push_back({"editor: key to screen, p95", "", fmt("%.2f ms", edit_p95), "<= 10 ms",
                    edit_p95 <= 10 ? "met" : "MISSED"});
    rows.push_back({"editor: keys sent / answered", "",
                    count_text(e.keys_sent) + " / " + count_text(e.latencies.size()), "all",
                    e.latencies.size() == e.keys_sent ? "ok" : "MISMATCH"});
    rows.push_back({"Escape quits with status 0", r.main_exit_clean ? "yes" : "no",
                    count_text(r.clean_exits) + "/" + count_text(r.runs) + " runs", "status 0",
                    r.clean_exits == r.runs ? "met" : "MISSED"});
}

void report(const Results& r) {
    std::vector<Row> rows;
    add_output_rows(rows, r);
    add_tick_rows(rows, r);
    add_key_and_start_rows(rows, r);
    print_table(rows);
    std::printf("phases: %.2f s idle, %.2f s with keys; frame = 3199 cells, %zu shaded (3 bytes "
                "each in UTF-8) = %.0f bytes; pty %dx%d, TERM=xterm-256color, LANG=C.UTF-8\n",
                r.idle.seconds, r.keys.seconds, r.shade_cells, r.frame_bytes, term_cols, term_rows);
    std::printf("machine: %ld cores, %.0f %% busy on average during the two phases (the game's "
                "own share included); load average now %s",
                sysconf(_SC_NPROCESSORS_ONLN),
                100 * (r.machine_b.busy - r.machine_a.busy) /
                    (r.machine_b.total - r.machine_a.total),
                read_file("/proc/loadavg").c_str());
}

} // namespace

int main(int argc, char** argv) {
    Settings s = read_settings(argc, argv);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGPIPE, SIGSEGV, SIGABRT})
        signal(sig, on_fatal_signal);
    std::atexit(kill_children);
    // However the game behaves, this run ends.
    alarm(static_cast<unsigned>(3 * s.phase_s + s.starts * 5 + 40));

    Results r;
    r.shade_cells = shaded_cells(s.map_dir);
    r.frame_bytes = frame_cells + 2.0 * r.shade_cells; // a shade is 3 bytes in UTF-8
    r.runs = s.starts + 1;
    r.startup = measure_startups(s, r.shade_cells, r.clean_exits);
    measure_game(s, r);
    r.editor = measure_editor(s);
    ++r.runs;
    r.clean_exits += r.editor.exit_clean;
    report(r);
    return r.clean_exits == r.runs && !r.key_phase.latencies.empty() && r.idle.ticks.seen > 0 ? 0
                                                                                              : 1;
}
