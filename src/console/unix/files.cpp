// The file services on Unix: POSIX calls only.
#include "console/platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/auxv.h>
#endif

namespace {

bool fail(char* why, int why_size, const char* what) {
    std::snprintf(why, why_size, "%s", what);
    return false;
}

bool fail_errno(char* why, int why_size, int error) {
    return fail(why, why_size, std::strerror(error));
}

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

// Writes all of `bytes`, through short writes and interruptions.
bool write_all(int fd, const char* bytes, long size) {
    while (size > 0) {
        ssize_t done = write(fd, bytes, static_cast<std::size_t>(size));
        if (done < 0 && errno == EINTR) continue;
        if (done == 0) errno = EIO;
        if (done <= 0) return false;
        bytes += done;
        size -= done;
    }
    return true;
}

// The folder `path` is in, into `folder` (4096 bytes); returns the name within it.
const char* split_folder(const char* path, char* folder) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr)
        std::snprintf(folder, 4096, ".");
    else if (slash == path)
        std::snprintf(folder, 4096, "/");
    else
        std::snprintf(folder, 4096, "%.*s", static_cast<int>(slash - path), path);
    return slash == nullptr ? path : slash + 1;
}

// The rename is on disk only once the folder holding it is. Some file systems cannot flush a
// folder at all; the new file itself is already safe by then, so that is no failure.
void flush_folder_of(const char* path) {
    char folder[4096];
    split_folder(path, folder);
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A replacement cut short (a crash, a SIGKILL) leaves its new file, "NAME.new-PID-N", beside
// the file forever. Another process's that has not been written for a minute is no longer
// being written: it goes. Any other file is left alone.
void remove_stale_temporaries(const char* target) {
    char folder[4096];
    const char* name = split_folder(target, folder);
    std::size_t length = std::strlen(name);
    DIR* dir = opendir(folder);
    if (dir == nullptr) return;
    std::time_t now = std::time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        const char* found = entry->d_name;
        long pid = 0;
        int attempt = 0, end = 0;
        if (std::strncmp(found, name, length) != 0 ||
            std::sscanf(found + length, ".new-%ld-%d%n", &pid, &attempt, &end) != 2 ||
            found[length + end] != '\0' || pid == static_cast<long>(getpid()))
            continue;
        struct stat info;
        if (fstatat(dirfd(dir), found, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            now - info.st_mtime > 60)
            unlinkat(dirfd(dir), found, 0);
    }
    closedir(dir);
}

// Makes the new file beside `target`, into `temporary` (4096 bytes), or returns -1 with why.
// O_EXCL with O_NOFOLLOW: a file or link someone planted under the temporary name is never
// written through; another name is tried instead.
int make_temporary(const char* target, int new_mode, char* temporary, char* why, int why_size) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        int length = std::snprintf(temporary, 4096, "%s.new-%ld-%d", target,
                                   static_cast<long>(getpid()), attempt);
        if (length < 0 || length >= 4096) {
            fail(why, why_size, "the file's name is too long");
            return -1;
        }
        int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                      static_cast<mode_t>(new_mode));
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            fail_errno(why, why_size, errno);
            return -1;
        }
    }
    fail(why, why_size, "no free name for a temporary file beside it");
    return -1;
}

// The file `path` names once its symbolic links are followed (`path` itself when it is no link),
// into `target`. The folders on the way are left as they are: the file is replaced in its own.
bool resolve_links(const char* path, char* target, int target_size, char* why, int why_size) {
    if (std::snprintf(target, target_size, "%s", path) >= target_size)
        return fail(why, why_size, "the file's name is too long");
    for (int links = 0;; ++links) {
        struct stat info;
        if (lstat(target, &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        if (links == 40) return fail(why, why_size, "too many levels of symbolic links");
        char to[4096];
        ssize_t length = readlink(target, to, sizeof to - 1);
        if (length < 0) return fail_errno(why, why_size, errno);
        to[length] = '\0';
        // A relative link is read from the folder the link is in.
        char* slash = std::strrchr(target, '/');
        int folder = to[0] == '/' || slash == nullptr ? 0 : static_cast<int>(slash - target) + 1;
        if (folder + length >= target_size)
            return fail(why, why_size, "the file's name is too long");
        std::memcpy(target + folder, to, static_cast<std::size_t>(length) + 1);
        if (stat(target, &info) != 0 && errno == ENOENT) {
            std::snprintf(why, why_size, "it is a symbolic link to \"%s\", which is not there",
                          target);
            return false;
        }
    }
}

// The file `path` names, links followed, into `target` (4096 bytes), with `info` when it is
// there; or false, with why, when it is nothing replace_file may replace.
bool replaceable(const char* path, char* target, struct stat& info, bool& there, char* why,
                 int why_size) {
    if (!resolve_links(path, target, 4096, why, why_size)) return false;
    // Only a file is replaced: the rename would put a file in place of a FIFO, a device or a
    // link to one (for root, of /dev/null or /dev/stdout themselves).
    there = stat(target, &info) == 0;
    if (there && !S_ISREG(info.st_mode)) return fail(why, why_size, "it is not a regular file");
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
    const char* const links[] = {"/proc/self/exe", "/proc/curproc/exe", "/proc/curproc/file"};
    char program[PATH_MAX];
    ssize_t length = -1;
    for (const char* link : links) {
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

namespace {

// Quit signals that come while a file is written wait until it is in place or gone: a second
// one ends the process at once, which would leave the new file half made beside the old one.
sigset_t hold_quits() {
    sigset_t quits, before;
    sigemptyset(&quits);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&quits, sig);
    sigprocmask(SIG_BLOCK, &quits, &before);
    return before;
}

} // namespace

bool replace_file(const char* path, const char* bytes, long size, int new_mode, char* why,
                  int why_size) {
    char target[4096], temporary[4096];
    struct stat info;
    bool there = false;
    if (!replaceable(path, target, info, there, why, why_size)) return false;
    remove_stale_temporaries(target);
    sigset_t before = hold_quits();
    int fd = make_temporary(target, new_mode, temporary, why, why_size);
    if (fd < 0) {
        sigprocmask(SIG_SETMASK, &before, nullptr);
        return false;
    }

    bool written = (!there || fchmod(fd, info.st_mode & 0777) == 0) && write_all(fd, bytes, size) &&
                   fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary, target) != 0) {
        written = false;
        error = errno;
    }
    if (!written) unlink(temporary);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (!written) return fail_errno(why, why_size, error);
    flush_folder_of(target);
    return true;
}

bool can_replace_file(const char* path, char* why, int why_size) {
    char target[4096], temporary[4096];
    struct stat info;
    bool there = false;
    if (!replaceable(path, target, info, there, why, why_size)) return false;
    int fd = make_temporary(target, 0600, temporary, why, why_size);
    if (fd < 0) return false;
    close(fd);
    unlink(temporary);
    return true;
}
