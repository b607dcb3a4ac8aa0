// The file services on Windows: Win32 calls only.
//
// Every name goes to the "W" functions. A name the game was given (the command line) is read
// in the ANSI code page, as the C library's own fopen reads it, so any name fopen opens opens
// here too; the state folder, which the ANSI code page may not spell, is named "\\?\" and then
// in UTF-8 (see state_folder), and so are the files in it.
#include "console/platform.h"
#include "console/windows/port.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>

// ---- what the file services share ----------------------------------------------------------

namespace {

const char verbatim[] = "\\\\?\\";

} // namespace

bool win_console::fail(char* why, int why_size, const char* what) {
    std::snprintf(why, why_size, "%s", what);
    return false;
}

// The reason for the last failure, in the C library's words where the tests and the Unix
// build use them, else in the system's.
bool win_console::fail_last_error(char* why, int why_size) {
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

std::wstring win_console::wide(const char* name) {
    UINT page = std::strncmp(name, verbatim, 4) == 0 ? CP_UTF8 : CP_ACP;
    int length = MultiByteToWideChar(page, 0, name, -1, nullptr, 0);
    std::wstring text(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(page, 0, name, -1, text.data(), length);
    text.resize(text.size() - 1);
    return text;
}

using namespace win_console;

namespace {

// Lock files by handle number; a player holds one or two at a time.
HANDLE locks[16];

// The folder, absolute, in the form a name the ANSI code page cannot spell takes.
bool verbatim_name(const std::wstring& folder, char* path, int path_size) {
    wchar_t full[32768];
    DWORD length = GetFullPathNameW(folder.c_str(), 32768, full, nullptr);
    if (length == 0 || length >= 32768) return false;
    std::wstring name = full;
    if (name.compare(0, 4, L"\\\\?\\") != 0)
        name =
            name.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + name.substr(2) : L"\\\\?\\" + name;
    return WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, path, path_size, nullptr, nullptr) > 0;
}

} // namespace

// ---- opening what the player names ---------------------------------------------------------

std::FILE* open_regular_file(const char* name, long limit, char* why, int why_size) {
    // Backup semantics open a folder too, so that it is refused as one rather than with
    // "access denied". What was opened is then judged, so that nothing can be swapped in
    // between the look and the open.
    HANDLE handle =
        CreateFileW(wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    return GetFileAttributesW(wide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_folder(const char* name) {
    DWORD attributes = GetFileAttributesW(wide(name).c_str());
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

bool state_folder(char* path, int path_size, bool make, char* why, int why_size) {
    wchar_t base[32768];
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, 32768);
    if (length == 0 || length >= 32768) return fail(why, why_size, "LOCALAPPDATA is not set");
    std::wstring folder = std::wstring(base) + L"\\dotmaze";
    // In the ANSI code page where it spells the name exactly, as every other name here is.
    BOOL lossy = FALSE;
    int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1, path,
                                      path_size, nullptr, &lossy);
    if ((written == 0 || lossy) && !verbatim_name(folder, path, path_size))
        return fail(why, why_size, "the folder's name is too long");
    if (!make) return true;
    // The folder inherits the user's own rights from the one it is made in.
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return fail_last_error(why, why_size);
    if (!is_folder(path)) return fail(why, why_size, "it is not a directory");
    return true;
}

int lock_file(const char* path, int wait_ms, char* why, int why_size) {
    int slot = 0;
    while (slot < 16 && locks[slot] != nullptr) ++slot;
    if (slot == 16) {
        fail(why, why_size, "too many locks held");
        return -1;
    }
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_last_error(why, why_size);
        return -1;
    }
    // Tried again every 20 ms rather than waited for, so that the wait can end.
    ULONGLONG start = GetTickCount64();
    OVERLAPPED whole{};
    while (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                       MAXDWORD, &whole)) {
        bool busy = GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING;
        if (!busy) fail_last_error(why, why_size);
        if (!busy || quit_pending() ||
            GetTickCount64() - start >= static_cast<ULONGLONG>(wait_ms)) {
            CloseHandle(handle);
            return busy ? lock_busy : -1;
        }
        Sleep(20);
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
