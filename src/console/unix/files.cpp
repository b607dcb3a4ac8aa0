// The file services on Unix: opening what the player names, the folders, the lock; POSIX calls
// only. Replacing a file whole is replace.cpp's.
#include "console/platform.h"
#include "console/unix/port.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/auxv.h>
#endif

// ---- what the file services share ----------------------------------------------------------

bool unix_tty::fail(char* why, int why_size, const char* what) {
    std::snprintf(why, why_size, "%s", what);
    return false;
}

bool unix_tty::fail_errno(char* why, int why_size, int error) {
    return fail(why, why_size, std::strerror(error));
}

using namespace unix_tty;

namespace {

// Creates each missing folder of `path` with mode 0700, leaving the ones there alone.
bool make_folders(char* path, char* why, int why_size) {
    for (char* slash = std::strchr(path + 1, '/');; slash = std::strchr(slash + 1, '/')) {
        if (slash != nullptr) *slash = '\0';
        int made = mkdir(path, 0700);
        int error = errno;
        if (slash != nullptr) *slash = '/';
        if (made != 0 && error != EEXIST) return fail_errno(why, why_size, error);
        if (slash == nullptr || slash[1] == '\0') break;
    }
    struct stat info;
    if (stat(path, &info) != 0) return fail_errno(why, why_size, errno);
    if (!S_ISDIR(info.st_mode)) return fail(why, why_size, "it is not a directory");
    return true;
}

} // namespace

// ---- opening what the player names ---------------------------------------------------------

std::FILE* open_regular_file(const char* name, long limit, char* why, int why_size) {
    // Without O_NONBLOCK opening a FIFO waits for a writer; without O_NOCTTY a terminal device
    // could become ours. What was opened is then judged, so that nothing can be swapped in
    // between the look and the open.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        fail_errno(why, why_size, errno);
        return nullptr;
    }
    struct stat info;
    const char* refusal = nullptr;
    char size_refusal[128];
    if (fstat(fd, &info) != 0)
        refusal = std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        refusal = "it is a directory";
    else if (!S_ISREG(info.st_mode))
        refusal = "it is not a regular file";
    else if (info.st_size > limit) {
        std::snprintf(size_refusal, sizeof size_refusal,
                      "it is %lld bytes long, more than the limit of %ld",
                      static_cast<long long>(info.st_size), limit);
        refusal = size_refusal;
    } else if (fcntl(fd, F_SETFL, 0) != 0)
        refusal = std::strerror(errno);
    std::FILE* file = refusal == nullptr ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        if (refusal == nullptr) refusal = std::strerror(errno);
        fail(why, why_size, refusal);
        close(fd);
    }
    return file;
}

bool path_exists(const char* name) {
    struct stat info;
    return lstat(name, &info) == 0;
}

bool is_folder(const char* name) {
    struct stat info;
    return stat(name, &info) == 0 && S_ISDIR(info.st_mode);
}

bool current_folder(char* path, int path_size) {
    return path_size > 0 && getcwd(path, static_cast<std::size_t>(path_size)) != nullptr;
}

// ---- where the program is ------------------------------------------------------------------

bool program_folder(char* path, int path_size) {
    // The kernel's link to the running program, its own links resolved: Linux names it
    // /proc/self/exe, the BSDs with a /proc /proc/curproc/exe or /proc/curproc/file.
    char program[PATH_MAX];
    ssize_t length = -1;
    for (const char* link : {"/proc/self/exe", "/proc/curproc/exe", "/proc/curproc/file"}) {
        length = readlink(link, program, sizeof program - 1);
        if (length > 0) break;
    }
#ifdef __linux__
    // No /proc (a chroot, a bare container): the name the program was started by, resolved
    // from the current folder, which the game has not left yet when it asks.
    if (length <= 0) {
        const char* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
        if (started != nullptr && realpath(started, program) != nullptr)
            length = static_cast<ssize_t>(std::strlen(program));
    }
#endif
    // Too long for the buffer, or not a path at all.
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof program) - 1 || program[0] != '/')
        return false;
    program[length] = '\0';
    char* slash = std::strrchr(program, '/');
    // The root folder is "/"; any other ends before the program's name.
    *(slash == program ? slash + 1 : slash) = '\0';
    return std::snprintf(path, path_size, "%s", program) < path_size;
}

// ---- the game's own files ------------------------------------------------------------------

bool state_folder(char* path, int path_size, bool make, char* why, int why_size) {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    int length;
    // A relative XDG_STATE_HOME is to be ignored: it would name a different folder from each
    // folder the game is started in.
    if (state != nullptr && state[0] == '/')
        length = std::snprintf(path, path_size, "%s/dotmaze", state);
    else if (home != nullptr && home[0] == '/')
        length = std::snprintf(path, path_size, "%s/.local/state/dotmaze", home);
    else
        return fail(why, why_size, "neither XDG_STATE_HOME nor HOME names a folder");
    if (length < 0 || length >= path_size)
        return fail(why, why_size, "the folder's name is too long");
    return !make || make_folders(path, why, why_size);
}

int lock_file(const char* path, int wait_ms, char* why, int why_size) {
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail_errno(why, why_size, errno);
        return -1;
    }
    // Tried again every 20 ms rather than waited for, so that the wait can end.
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        int error = errno;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long waited_ms =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (error != EWOULDBLOCK && error != EINTR) {
            fail_errno(why, why_size, error);
            close(fd);
            return -1;
        }
        if (quit_pending() || waited_ms >= wait_ms) {
            close(fd);
            return lock_busy;
        }
        timespec nap{0, 20 * 1000000L};
        nanosleep(&nap, nullptr);
    }
}

void unlock_file(int handle) {
    if (handle >= 0) close(handle); // the lock goes with the last descriptor
}
