#include "terminal_decoder.h"

namespace {

constexpr unsigned char escape = 0x1b;

// A key without a character: its scan code and whether it is an enhanced key.
struct named_key {
    unsigned scan_code;
    unsigned long flags;
};

constexpr named_key no_such_key{0, 0};
constexpr named_key up{72, enhanced_key};
constexpr named_key down{80, enhanced_key};
constexpr named_key right{77, enhanced_key};
constexpr named_key left{75, enhanced_key};
constexpr named_key home{71, enhanced_key};
constexpr named_key end{79, enhanced_key};
constexpr named_key insert{82, enhanced_key};
constexpr named_key delete_key{83, enhanced_key};
constexpr named_key page_up{73, enhanced_key};
constexpr named_key page_down{81, enhanced_key};
constexpr named_key keypad_enter{28, enhanced_key};
constexpr named_key keypad_slash{53, enhanced_key};
constexpr named_key tab{15, 0};
constexpr named_key f1{59, 0};
constexpr named_key f2{60, 0};
constexpr named_key f3{61, 0};
constexpr named_key f4{62, 0};
constexpr named_key f5{63, 0};
constexpr named_key f6{64, 0};
constexpr named_key f7{65, 0};
constexpr named_key f8{66, 0};
constexpr named_key f9{67, 0};
constexpr named_key f10{68, 0};
constexpr named_key f11{87, 0};
constexpr named_key f12{88, 0};

// CSI n ~, by n.
constexpr named_key tilde_keys[] = {
    no_such_key, home, insert, delete_key, end, page_up, page_down, home, end,
    no_such_key, no_such_key, f1, f2, f3, f4, f5,
    no_such_key, f6, f7, f8, f9, f10,
    no_such_key, f11, f12,
};

constexpr unsigned escape_scan_code = 1;
constexpr unsigned digit_2_scan_code = 3;

decoded_key key_of(std::size_t consumed, unsigned char character, unsigned scan_code,
                   unsigned long control_state) {
    return {decode_outcome::key, consumed, {true, character, scan_code, control_state}};
}

decoded_key character_key(std::size_t consumed, unsigned char character) {
    return key_of(consumed, character, 0, 0);
}

decoded_key press(std::size_t consumed, named_key key, unsigned long modifiers) {
    if (key.scan_code == no_such_key.scan_code) return {decode_outcome::not_a_key, consumed, {}};
    return key_of(consumed, 0, key.scan_code, key.flags | modifiers);
}

decoded_key skip(std::size_t consumed) {
    return {decode_outcome::not_a_key, consumed, {}};
}

decoded_key need_more() {
    return {decode_outcome::need_more, 0, {}};
}

// A sequence whose end has not come: wait for it, or skip it once the input
// has gone quiet.
decoded_key unfinished(std::size_t length, bool input_idle) {
    return input_idle ? skip(length) : need_more();
}

bool is_digit(unsigned char byte) {
    return byte >= '0' && byte <= '9';
}

// Longer numbers are junk, and the bound keeps the arithmetic small.
constexpr int most_parameter_digits = 3;
constexpr int missing = -1;

// Reads "[first][;second]", each a decimal number; an empty one is missing.
bool read_parameters(const unsigned char* bytes, std::size_t length, int* first, int* second) {
    int values[2] = {missing, missing};
    int index = 0;
    int digits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (is_digit(bytes[i])) {
            if (++digits > most_parameter_digits) return false;
            values[index] = (values[index] == missing ? 0 : values[index] * 10) + (bytes[i] - '0');
        } else if (bytes[i] == ';' && index == 0) {
            index = 1;
            digits = 0;
        } else {
            return false;
        }
    }
    *first = values[0];
    *second = values[1];
    return true;
}

// xterm's modifier parameter is 1 plus a bit set: Shift 1, Alt 2, Ctrl 4,
// Meta 8 (taken as Alt). Higher bits (Super, Hyper, lock states) do not
// change which code a key gives, so they are dropped.
bool modifiers_from_parameter(int parameter, unsigned long* control_state) {
    if (parameter == missing) {
        *control_state = 0;
        return true;
    }
    if (parameter < 1) return false;
    const int bits = parameter - 1;
    *control_state = 0;
    if (bits & 1) *control_state |= shift_pressed;
    if (bits & (2 | 8)) *control_state |= left_alt_pressed;
    if (bits & 4) *control_state |= left_ctrl_pressed;
    return true;
}

named_key csi_letter_key(unsigned char final_byte) {
    switch (final_byte) {
    case 'A': return up;
    case 'B': return down;
    case 'C': return right;
    case 'D': return left;
    case 'H': return home;
    case 'F': return end;
    case 'P': return f1;
    case 'Q': return f2;
    case 'S': return f4;
    case 'Z': return tab;
    default: return no_such_key;
    }
}

named_key ss3_key(unsigned char final_byte) {
    switch (final_byte) {
    case 'A': return up;
    case 'B': return down;
    case 'C': return right;
    case 'D': return left;
    case 'H': return home;
    case 'F': return end;
    case 'M': return keypad_enter;
    case 'o': return keypad_slash;
    case 'P': return f1;
    case 'Q': return f2;
    case 'R': return f3;
    case 'S': return f4;
    default: return no_such_key;
    }
}

named_key linux_console_function_key(unsigned char byte) {
    switch (byte) {
    case 'A': return f1;
    case 'B': return f2;
    case 'C': return f3;
    case 'D': return f4;
    case 'E': return f5;
    default: return no_such_key;
    }
}

// bytes begins with ESC [.
decoded_key decode_csi(const unsigned char* bytes, std::size_t length, bool input_idle) {
    if (length < 3) return unfinished(length, input_idle);
    if (bytes[2] == '[') {
        // The Linux console's F1 to F5: exactly one byte after the second '['.
        if (length < 4) return unfinished(length, input_idle);
        return press(4, linux_console_function_key(bytes[3]), 0);
    }
    if (bytes[2] == 'M') {
        // A mouse report in the oldest form: three raw bytes follow.
        if (length < 6) return unfinished(length, input_idle);
        return skip(6);
    }
    std::size_t final_at = 2;
    while (final_at < length && (bytes[final_at] < 0x40 || bytes[final_at] > 0x7e)) ++final_at;
    if (final_at == length) return unfinished(length, input_idle);

    const std::size_t consumed = final_at + 1;
    int first = missing;
    int second = missing;
    unsigned long modifiers = 0;
    if (!read_parameters(bytes + 2, final_at - 2, &first, &second) ||
        !modifiers_from_parameter(second, &modifiers))
        return skip(consumed);

    const unsigned char final_byte = bytes[final_at];
    if (final_byte == '~') {
        if (first == missing || first >= static_cast<int>(sizeof tilde_keys / sizeof tilde_keys[0]))
            return skip(consumed);
        return press(consumed, tilde_keys[first], modifiers);
    }
    if (first != missing && first != 1) return skip(consumed);
    if (final_byte == 'Z') modifiers |= shift_pressed;
    return press(consumed, csi_letter_key(final_byte), modifiers);
}

// bytes begins with ESC O: optional digits (the modifier), then one byte.
decoded_key decode_ss3(const unsigned char* bytes, std::size_t length, bool input_idle) {
    std::size_t final_at = 2;
    while (final_at < length && is_digit(bytes[final_at])) ++final_at;
    if (final_at >= length) return unfinished(length, input_idle);

    const std::size_t consumed = final_at + 1;
    int modifier = missing;
    int unused = missing;
    unsigned long modifiers = 0;
    if (!read_parameters(bytes + 2, final_at - 2, &modifier, &unused) ||
        !modifiers_from_parameter(modifier, &modifiers))
        return skip(consumed);
    return press(consumed, ss3_key(bytes[final_at]), modifiers);
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
    if (length == 1)
        return input_idle ? key_of(1, escape, escape_scan_code, 0) : need_more();
    if (bytes[1] == '[') return decode_csi(bytes, length, input_idle);
    if (bytes[1] == 'O') return decode_ss3(bytes, length, input_idle);
    if (!alt_prefix_allowed) return key_of(1, escape, escape_scan_code, 0);

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
    // Ctrl+2, Ctrl+@ and Ctrl+Space send 0: the console's null key.
    if (first == 0) return key_of(1, 0, digit_2_scan_code, left_ctrl_pressed);
    if (first >= 0xc2 && first <= 0xf4) return decode_utf8(bytes, length, input_idle);
    return character_key(1, first);
}

}  // namespace

decoded_key decode_terminal_key(const unsigned char* bytes, std::size_t length, bool input_idle) {
    return decode_key(bytes, length, input_idle, true);
}
