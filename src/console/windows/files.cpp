// The file services on Windows: Win32 calls only.
//
// Names go to the "A" functions as they came: they read them in the ANSI code page, as the C
// library's own fopen does, so any name fopen opens opens here too.
#include "console/platform.h"

#include <windows.h>

#include <cstdint>
#include <fcntl.h>
#include <io.h>

namespace {

bool fail(char* why, int why_size, const char* what) {
    std::snprintf(why, why_size, "%s", what);
    return false;
}

// The reason for the last failure, in the C library's words where the tests and the Unix
// build use them, else in the system's.
bool fail_last_error(char* why, int why_size) {
    DWORD error = GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return fail(why, why_size, "No such file or directory");
    case ERROR_ACCESS_DENIED:
        return fail(why, why_size, "Permission denied");
    }
    char text[200];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        --length;
    if (length == 0)
        std::snprintf(why, why_size, "system error %lu", error);
    else
        std::snprintf(why, why_size, "%.*s", static_cast<int>(length), text);
    return false;
}

// Lock files by handle number; a player holds one or two at a time.
HANDLE locks[16];

} // namespace

// ---- opening what the player names ---------------------------------------------------------

std::FILE* open_regular_file(const char* name, long limit, char* why, int why_size) {
    // Backup semantics open a folder too, so that it is refused as one rather than with
    // "access denied". What was opened is then judged, so that nothing can be swapped in
    // between the look and the open.
    HANDLE handle = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_last_error(why, why_size);
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    bool refused = true;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        fail(why, why_size, "it is not a regular file");
    else if (!GetFileInformationByHandle(handle, &info))
        fail_last_error(why, why_size);
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        fail(why, why_size, "it is a directory");
    else if (!GetFileSizeEx(handle, &size))
        fail_last_error(why, why_size);
    else if (size.QuadPart > limit)
        std::snprintf(why, why_size, "it is %lld bytes long, more than the limit of %ld",
                      static_cast<long long>(size.QuadPart), limit);
    else
        refused = false;
    if (refused) {
        CloseHandle(handle);
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        fail(why, why_size, "too many open files");
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) {
        _close(fd); // closes the handle with it
        fail(why, why_size, "too many open files");
    }
    return file;
}

bool path_exists(const char* name) {
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

bool is_folder(const char* name) {
    DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool current_folder(char* path, int path_size) {
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path_size), path);
    return length > 0 && length < static_cast<DWORD>(path_size);
}

// ---- where the program is ------------------------------------------------------------------

bool program_folder(char* path, int path_size) {
    // The whole name of the running exe, in the system's code page: the one the other file
    // services take. A name cut short to fit is no name at all.
    char program[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) return false;
    // By characters, not bytes: in a double-byte code page a backslash byte can end one.
    char* separator = nullptr;
    for (char* c = program; *c != '\0'; c = CharNextA(c))
        if (*c == '\\') separator = c;
    if (separator == nullptr) return false;
    // A drive's root keeps its backslash (C:\); any other folder ends before the exe's name.
    *(separator > program && separator[-1] == ':' ? separator + 1 : separator) = '\0';
    return std::snprintf(path, path_size, "%s", program) < path_size;
}

// ---- the game's own files ------------------------------------------------------------------

bool state_folder(char* path, int path_size, char* why, int why_size) {
    char base[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
    if (length == 0 || length >= sizeof base) return fail(why, why_size, "LOCALAPPDATA is not set");
    int written = std::snprintf(path, path_size, "%s\\dotmaze", base);
    if (written < 0 || written >= path_size)
        return fail(why, why_size, "the folder's name is too long");
    // The folder inherits the user's own rights from the one it is made in.
    if (!CreateDirectoryA(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return fail_last_error(why, why_size);
    if (!is_folder(path)) return fail(why, why_size, "it is not a directory");
    return true;
}

int lock_file(const char* path, char* why, int why_size) {
    int slot = 0;
    while (slot < 16 && locks[slot] != nullptr) ++slot;
    if (slot == 16) {
        fail(why, why_size, "too many locks held");
        return -1;
    }
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_last_error(why, why_size);
        return -1;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        fail_last_error(why, why_size);
        CloseHandle(handle);
        return -1;
    }
    locks[slot] = handle;
    return slot;
}

void unlock_file(int handle) {
    if (handle < 0 || handle >= 16 || locks[handle] == nullptr) return;
    OVERLAPPED whole{};
    UnlockFileEx(locks[handle], 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(locks[handle]);
    locks[handle] = nullptr;
}

// Windows has no permission bits to keep, and a game's files are not reached through links
// there: `new_mode` is for Unix.
bool replace_file(const char* path, const char* bytes, long size, int, char* why, int why_size) {
    // CREATE_NEW: a file or link someone planted under the temporary name is never written
    // through; another name is tried instead.
    char temporary[MAX_PATH + 32];
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        int length = std::snprintf(temporary, sizeof temporary, "%s.new-%lu-%d", path,
                                   GetCurrentProcessId(), attempt);
        if (length < 0 || length >= static_cast<int>(sizeof temporary))
            return fail(why, why_size, "the file's name is too long");
        handle = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error = GetLastError();
        if (handle == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS &&
            error != ERROR_ALREADY_EXISTS)
            return fail_last_error(why, why_size);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return fail(why, why_size, "no free name for a temporary file beside it");

    bool written = true;
    while (written && size > 0) {
        DWORD chunk = size > (1L << 30) ? 1UL << 30 : static_cast<DWORD>(size);
        DWORD done = 0;
        written = WriteFile(handle, bytes, chunk, &done, nullptr) && done > 0;
        bytes += done;
        size -= static_cast<long>(done);
    }
    written = written && FlushFileBuffers(handle);
    if (!written) fail_last_error(why, why_size);
    if (!CloseHandle(handle) && written) written = fail_last_error(why, why_size);
    if (written &&
        !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        written = fail_last_error(why, why_size);
    if (!written) DeleteFileA(temporary);
    return written;
}
