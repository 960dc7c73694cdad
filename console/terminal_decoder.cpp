// Characters, UTF-8 and the Escape key; sequences are decoded in
// terminal_sequences.cpp.
#include "terminal_decoder.h"

#include "terminal_sequences.h"

namespace {

decoded_key character_key(std::size_t consumed, unsigned char character) {
    return press(consumed, {character, 0, 0}, 0);
}

// A UTF-8 character becomes its code point where that fits in a byte, else
// '?', as an 8-bit code page would show it. A lead byte without its
// continuation bytes is a Latin-1 character of its own.
decoded_key decode_utf8(const unsigned char* bytes, std::size_t length, bool input_idle) {
    const unsigned char lead = bytes[0];
    const std::size_t continuations = lead < 0xe0 ? 1 : lead < 0xf0 ? 2 : 3;
    // The second byte's range excludes overlong forms, surrogates and code
    // points beyond U+10FFFF.
    unsigned char low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    unsigned long code_point = lead & (0x3fu >> continuations);
    for (std::size_t i = 1; i <= continuations; ++i) {
        if (i >= length) return input_idle ? character_key(1, lead) : need_more();
        if (bytes[i] < low || bytes[i] > high) return character_key(1, lead);
        code_point = code_point << 6 | (bytes[i] & 0x3fu);
        low = 0x80;
        high = 0xbf;
    }
    return character_key(continuations + 1,
                         code_point <= 0xff ? static_cast<unsigned char>(code_point) : '?');
}

decoded_key decode_key(const unsigned char* bytes, std::size_t length, bool input_idle,
                       bool alt_prefix_allowed);

// bytes begins with ESC: a sequence, a key typed with Alt, or Escape itself.
decoded_key decode_escape(const unsigned char* bytes, std::size_t length, bool input_idle,
                          bool alt_prefix_allowed) {
    if (length == 1) return input_idle ? press(1, escape_key, 0) : need_more();
    if (bytes[1] == '[' || bytes[1] == 'O') return decode_sequence(bytes, length, input_idle);
    if (!alt_prefix_allowed) return press(1, escape_key, 0);

    decoded_key typed = decode_key(bytes + 1, length - 1, input_idle, false);
    if (typed.outcome == decode_outcome::need_more) return typed;
    typed.consumed += 1;
    typed.event.control_state |= left_alt_pressed;
    return typed;
}

decoded_key decode_key(const unsigned char* bytes, std::size_t length, bool input_idle,
                       bool alt_prefix_allowed) {
    if (length == 0) return need_more();
    const unsigned char first = bytes[0];
    if (first == escape) return decode_escape(bytes, length, input_idle, alt_prefix_allowed);
    if (first == 0) return press(1, null_key, 0);
    if (first >= 0xc2 && first <= 0xf4) return decode_utf8(bytes, length, input_idle);
    return character_key(1, first);
}

}  // namespace

decoded_key decode_terminal_key(const unsigned char* bytes, std::size_t length, bool input_idle) {
    return decode_key(bytes, length, input_idle, true);
}
