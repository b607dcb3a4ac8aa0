// The Windows console's keyboard: key events read off the console's input buffer and turned
// into the codes _getch would give, in the order typed, except that an Escape anywhere in the
// buffer goes ahead of the keys before it.
#include "console/platform.h"
#include "console/windows/port.h"

#include <algorithm>

namespace win_console {

HANDLE console_in = INVALID_HANDLE_VALUE;
bool quit_by_escape = false;

HANDLE open_keyboard() {
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

bool is_modifier_or_lock(WORD key) {
    switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
        return true;
    default:
        return false;
    }
}

} // namespace win_console

using namespace win_console;

namespace {

// The codes of the key being handed over, as _getch gives them: one for a character, two (a
// prefix and the scan code) for a key without one; a key held down may stand for several.
unsigned char codes[2];
int code_count = 0, next_code = 0, repeats_left = 0;

bool have_code() {
    return next_code < code_count || repeats_left > 0;
}

// The keys without a character that _getch reports, as a prefix and the scan code: the arrows,
// the keys grouped with them, and the function keys. Any other key without one gives nothing:
// a dead key, say, which on some layouts has the scan code 27 and would read as Escape.
bool has_key_codes(WORD key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
           (key >= VK_F1 && key <= VK_F12);
}

// The codes _getch gives for a key event: the character; or for a key without one, the prefix
// (0xE0 for the grey keys, 0 for the keypad's) and the scan code, so that both kinds of arrow
// give 0x48, 0x50, 0x4B or 0x4D second. Key releases, modifiers alone, Alt chords and keys
// without a character held with Ctrl or Alt give nothing: they mean nothing to the game. Nor
// does Ctrl+[, whose character is Escape's: only the Escape key quits.
int key_codes(const INPUT_RECORD& event, unsigned char* out) {
    if (event.EventType != KEY_EVENT) return 0; // focus, mouse, menu, buffer size
    const KEY_EVENT_RECORD& key = event.Event.KeyEvent;
    if (!key.bKeyDown || is_modifier_or_lock(key.wVirtualKeyCode)) return 0;
    DWORD alt = key.dwControlKeyState & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
    DWORD ctrl = key.dwControlKeyState & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
    auto character = static_cast<unsigned char>(key.uChar.AsciiChar);
    if (character == key_escape && key.wVirtualKeyCode != VK_ESCAPE) return 0;
    if (character != 0) {
        if (alt && !ctrl) return 0; // Alt with a letter (Ctrl with Alt is AltGr: a character)
        out[0] = character;
        return 1;
    }
    if (alt || ctrl || !has_key_codes(key.wVirtualKeyCode)) return 0;
    out[0] = (key.dwControlKeyState & ENHANCED_KEY) ? key_arrow_prefix : 0;
    out[1] = static_cast<unsigned char>(key.wVirtualScanCode);
    return 2;
}

bool is_escape(const INPUT_RECORD& event) {
    return event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown &&
           event.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE &&
           static_cast<unsigned char>(event.Event.KeyEvent.uChar.AsciiChar) == key_escape;
}

// Escape quits at once, so one anywhere in the input buffer goes ahead of the keys typed
// before it: those are dropped with it (the game ends on it), the keys after it stay for
// whatever runs next in this console.
bool take_queued_escape() {
    // A key held down repeats some 30 times a second: this is two minutes of it.
    static INPUT_RECORD queued[4096];
    const DWORD room = sizeof queued / sizeof queued[0];
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(console_in, &count) || count == 0) return false;
    if (!PeekConsoleInputA(console_in, queued, std::min(count, room), &count)) return false;
    for (DWORD i = 0; i < count; ++i) {
        if (!is_escape(queued[i])) continue;
        DWORD read = 0;
        ReadConsoleInputA(console_in, queued, i + 1, &read);
        codes[0] = key_escape;
        code_count = 1;
        next_code = 0;
        repeats_left = 0;
        return true;
    }
    return false;
}

// Reads events off the front of the input buffer until one gives codes; false when the
// buffer runs out first.
bool take_next_key() {
    INPUT_RECORD event;
    DWORD count = 0, read = 0;
    while (GetNumberOfConsoleInputEvents(console_in, &count) && count > 0) {
        if (!ReadConsoleInputA(console_in, &event, 1, &read) || read == 0) return false;
        code_count = key_codes(event, codes);
        if (code_count == 0) continue;
        next_code = 0;
        repeats_left = std::max<int>(event.Event.KeyEvent.wRepeatCount, 1) - 1;
        return true;
    }
    return false;
}

} // namespace

bool raw_key_waiting() {
    act_on_control_events();
    if (console_in == INVALID_HANDLE_VALUE) return false;
    return take_queued_escape() || have_code() || take_next_key();
}

int raw_read_key() {
    if (!have_code() && !raw_key_waiting()) return 0;
    if (next_code == code_count) {
        next_code = 0;
        --repeats_left;
    }
    int code = codes[next_code++];
    if (code == key_escape) quit_by_escape = true;
    return code;
}

// The console's input handle is signalled while events wait in its buffer; those that give no
// key (a release, a focus change) are read off by the key test, so the wait goes on.
bool wait_for_key(int ms) {
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (;;) {
        if (raw_key_waiting()) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= until) return false;
        if (console_in == INVALID_HANDLE_VALUE) {
            Sleep(static_cast<DWORD>(until - now));
            return false;
        }
        // A control event wakes the wait too, so that the key test acts on it at once.
        HANDLE wakes[] = {console_in, quit_wakes};
        WaitForMultipleObjects(2, wakes, FALSE, static_cast<DWORD>(until - now));
    }
}
