// A terminal that goes away without a hang-up: the game runs in a session of its own on a
// pseudo-terminal that is not its controlling terminal, so closing the other end sends it no
// SIGHUP; its reads see end-of-file and its writes fail. It must end as if hung up (status
// 129) within 3 s, also when it was started with SIGHUP ignored.
//
//   lost_terminal GAME MAPS_DIR
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

bool ends_as_hung_up(const char* game, const char* maps, bool hangup_ignored) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    winsize size{45, 80, 0, 0};
    ioctl(master, TIOCSWINSZ, &size);
    pid_t pid = fork();
    if (pid == 0) {
        setsid(); // no controlling terminal, and the pty never becomes one
        int fd = open(ptsname(master), O_RDWR | O_NOCTTY);
        if (fd < 0 || chdir(maps) != 0) _exit(120);
        dup2(fd, 0);
        dup2(fd, 1);
        close(master);
        setenv("TERM", "xterm-256color", 1);
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL");
        signal(SIGHUP, hangup_ignored ? SIG_IGN : SIG_DFL);
        execl(game, game, static_cast<char*>(nullptr));
        _exit(121);
    }

    // Close the terminal once the first frame's panel is out: the game is in its loop.
    std::string seen;
    char buf[4096];
    for (double end = now_ms() + 10000; seen.find("SCORE") == seen.npos && now_ms() < end;) {
        pollfd in{master, POLLIN, 0};
        if (poll(&in, 1, 100) != 1) continue;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, static_cast<std::size_t>(n));
    }
    close(master);
    double closed = now_ms();

    const char* how = hangup_ignored ? " (SIGHUP ignored)" : "";
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (now_ms() > closed + 3000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            std::printf("FAIL: terminal closed%s: still running 3 s later\n", how);
            return false;
        }
        usleep(10000);
    }
    int shown = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    bool ok = seen.find("SCORE") != seen.npos && shown == 129;
    std::printf("%s: terminal closed%s: status %d %.0f ms later%s\n", ok ? "ok" : "FAIL", how,
                shown, now_ms() - closed, seen.find("SCORE") == seen.npos ? ", no frame" : "");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    char game[PATH_MAX];
    if (argc != 3 || realpath(argv[1], game) == nullptr) {
        std::fprintf(stderr, "usage: %s GAME MAPS_DIR\n", argv[0]);
        return 2;
    }
    bool ok = ends_as_hung_up(game, argv[2], false);
    ok = ends_as_hung_up(game, argv[2], true) && ok;
    return ok ? 0 : 1;
}
