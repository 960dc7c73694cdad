// The decoder's escape sequences (ESC [ and ESC O), and the results both of
// the decoder's files build. Internal to the decoder.
#ifndef TANDREL_CONSOLE_TERMINAL_SEQUENCES_H
#define TANDREL_CONSOLE_TERMINAL_SEQUENCES_H

#include <cstddef>

#include "terminal_decoder.h"

// A key as the console knows it, before its modifiers: its character (0 for
// none), scan code and enhanced flag.
struct key_identity {
    unsigned char character;
    unsigned scan_code;
    unsigned long flags;
};

constexpr unsigned char escape = 0x1b;
constexpr key_identity no_such_key{0, 0, 0};
constexpr key_identity escape_key{escape, 1, 0};
// Ctrl+2, Ctrl+@ and Ctrl+Space: the console's null key, with no character.
constexpr key_identity null_key{0, 3, left_ctrl_pressed};

inline decoded_key skip(std::size_t consumed) {
    return {decode_outcome::not_a_key, consumed, {}};
}

inline decoded_key need_more() {
    return {decode_outcome::need_more, 0, {}};
}

// A key whose end has not come: wait for it, or skip it once the input has
// gone quiet.
inline decoded_key unfinished(std::size_t length, bool input_idle) {
    return input_idle ? skip(length) : need_more();
}

inline decoded_key press(std::size_t consumed, key_identity key, unsigned long modifiers) {
    if (key.character == 0 && key.scan_code == no_such_key.scan_code) return skip(consumed);
    return {decode_outcome::key, consumed, {true, key.character, key.scan_code, key.flags | modifiers}};
}

// bytes begins with ESC [ or ESC O.
decoded_key decode_sequence(const unsigned char* bytes, std::size_t length, bool input_idle);

#endif
