// Replacing a file whole on Windows: a new file beside it, flushed, moved over it; Win32 calls
// only, through the wide functions.
#include "console/platform.h"
#include "console/windows/port.h"

#include <cwchar>
#include <string>

using namespace win_console;

namespace {

// A replacement cut short (a crash, the process ended) leaves its new file, "NAME.new-PID-N",
// beside the file forever. Another process's that has not been written for a minute is no
// longer being written: it goes. Any other file is left alone.
void remove_stale_temporaries(const std::wstring& target) {
    std::size_t slash = target.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    std::wstring name = target.substr(folder.size()) + L".new-";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((target + L".new-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME now_time;
    GetSystemTimeAsFileTime(&now_time);
    ULARGE_INTEGER now{{now_time.dwLowDateTime, now_time.dwHighDateTime}};
    do {
        unsigned long pid = 0;
        int attempt = 0, end = 0;
        ULARGE_INTEGER written{
            {found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}};
        if (std::wcsncmp(found.cFileName, name.c_str(), name.size()) != 0 ||
            std::swscanf(found.cFileName + name.size(), L"%lu-%d%n", &pid, &attempt, &end) != 2 ||
            found.cFileName[name.size() + end] != L'\0' || pid == GetCurrentProcessId() ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            now.QuadPart - written.QuadPart < 60ULL * 10000000ULL) // in 100 ns
            continue;
        DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Makes the new file beside `target`, into `temporary`, or returns INVALID_HANDLE_VALUE with
// why. CREATE_NEW: a file or link someone planted under the temporary name is never written
// through; another name is tried instead.
HANDLE make_temporary(const std::wstring& target, std::wstring& temporary, char* why,
                      int why_size) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + L".new-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(attempt);
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            fail_last_error(why, why_size);
            return INVALID_HANDLE_VALUE;
        }
    }
    fail(why, why_size, "no free name for a temporary file beside it");
    return INVALID_HANDLE_VALUE;
}

// Only a file is replaced: the move would fail on a folder.
bool replaceable(const std::wstring& target, char* why, int why_size) {
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    return fail(why, why_size, "it is not a regular file");
}

} // namespace

// Windows has no permission bits to keep, and a game's files are not reached through links
// there: `new_mode` is for Unix.
bool replace_file(const char* path, const char* bytes, long size, int, char* why, int why_size) {
    std::wstring target = wide(path), temporary;
    if (!replaceable(target, why, why_size)) return false;
    remove_stale_temporaries(target);
    HANDLE handle = make_temporary(target, temporary, why, why_size);
    if (handle == INVALID_HANDLE_VALUE) return false;

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
    if (written && !MoveFileExW(temporary.c_str(), target.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        written = fail_last_error(why, why_size);
    if (!written) DeleteFileW(temporary.c_str());
    return written;
}

bool can_replace_file(const char* path, char* why, int why_size) {
    std::wstring target = wide(path), temporary;
    if (!replaceable(target, why, why_size)) return false;
    HANDLE handle = make_temporary(target, temporary, why, why_size);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    DeleteFileW(temporary.c_str());
    return true;
}
