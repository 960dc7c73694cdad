// A key press as the console reports it, and the code the key wait gives for it.
// Shared by every platform: the Windows console delivers these fields directly,
// the terminal decoder builds them from the bytes a terminal sends.
#ifndef TANDREL_CONSOLE_EXTENDED_KEYS_H
#define TANDREL_CONSOLE_EXTENDED_KEYS_H

// Control-key state flags, with the console's own values.
constexpr unsigned long right_alt_pressed = 0x0001;
constexpr unsigned long left_alt_pressed = 0x0002;
constexpr unsigned long right_ctrl_pressed = 0x0004;
constexpr unsigned long left_ctrl_pressed = 0x0008;
constexpr unsigned long shift_pressed = 0x0010;
constexpr unsigned long enhanced_key = 0x0100;

struct key_event {
    bool key_down;
    unsigned char character;  // 0 when the key produces no character
    unsigned scan_code;
    unsigned long control_state;
};

// Returned for a key that has no code and so does not end the wait.
constexpr int no_key_code = -1;

// First code of the key's extended pair for the modifier state in
// control_state (Alt over Ctrl over Shift), or no_key_code.
int extended_code(unsigned scan_code, unsigned long control_state);

// The key wait's result for one event: the character, else the extended
// code, else no_key_code (also for releases).
int key_event_code(const key_event& event);

#endif
