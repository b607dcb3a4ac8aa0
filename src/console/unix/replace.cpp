// Replacing a file whole on Unix: a new file beside it, flushed, renamed over it; POSIX calls
// only.
#include "console/platform.h"
#include "console/unix/port.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

using namespace unix_tty;

namespace {

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
    // ".", "/" or the folder's name.
    int length = slash == nullptr || slash == path ? 1 : static_cast<int>(slash - path);
    std::snprintf(folder, 4096, "%.*s", length, slash == nullptr ? "." : path);
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

// Quit signals that come while a file is written wait until it is in place or gone: a second
// one ends the process at once, which would leave the new file half made beside the old one.
sigset_t hold_quits() {
    sigset_t quits, before;
    sigemptyset(&quits);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&quits, sig);
    sigprocmask(SIG_BLOCK, &quits, &before);
    return before;
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
