// The key wait on the Windows console: the console's own input, read raw.
#include "key_wait.h"

#include <cstdlib>

#include <windows.h>

#include "extended_keys.h"

namespace {

// Not yet opened until the first wait; INVALID_HANDLE_VALUE once opening has
// failed, so it is never tried again.
HANDLE console_in_slot = nullptr;

void close_console_in() {
    CloseHandle(console_in_slot);
}

void open_console_in() {
    console_in_slot = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    if (console_in_slot == INVALID_HANDLE_VALUE) return;
    std::atexit(close_console_in);
}

int read_key() {
    for (;;) {
        INPUT_RECORD record;
        DWORD records_read = 0;
        if (!ReadConsoleInputA(console_in_slot, &record, 1, &records_read) || records_read == 0)
            return -1;
        if (record.EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        const int code = key_event_code({key.bKeyDown != FALSE,
                                         static_cast<unsigned char>(key.uChar.AsciiChar),
                                         key.wVirtualScanCode, key.dwControlKeyState});
        if (code != no_key_code) return code;
    }
}

}  // namespace

int wait_for_key() {
    if (console_in_slot == nullptr) open_console_in();
    if (console_in_slot == INVALID_HANDLE_VALUE) return -1;
    // Without the mode there is nothing to put back, and no console to read.
    DWORD saved_mode = 0;
    if (!GetConsoleMode(console_in_slot, &saved_mode)) return -1;
    // Mode 0: no line input, no echo, and Ctrl+C is a key, not an interrupt.
    SetConsoleMode(console_in_slot, 0);
    const int result = read_key();
    SetConsoleMode(console_in_slot, saved_mode);
    return result;
}
