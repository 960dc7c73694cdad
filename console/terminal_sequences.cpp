// Escape sequences: each is parsed once into its shape (introducer,
// parameters, final byte), and the shape is looked up in the table of the
// family that sends it.
#include "terminal_sequences.h"

namespace {

constexpr key_identity up{0, 72, enhanced_key};
constexpr key_identity down{0, 80, enhanced_key};
constexpr key_identity right{0, 77, enhanced_key};
constexpr key_identity left{0, 75, enhanced_key};
constexpr key_identity home{0, 71, enhanced_key};
constexpr key_identity end{0, 79, enhanced_key};
constexpr key_identity insert{0, 82, enhanced_key};
constexpr key_identity delete_key{0, 83, enhanced_key};
constexpr key_identity page_up{0, 73, enhanced_key};
constexpr key_identity page_down{0, 81, enhanced_key};
constexpr key_identity keypad_enter{0, 28, enhanced_key};
constexpr key_identity keypad_slash{0, 53, enhanced_key};
constexpr key_identity tab{0, 15, 0};
constexpr key_identity f1{0, 59, 0};
constexpr key_identity f2{0, 60, 0};
constexpr key_identity f3{0, 61, 0};
constexpr key_identity f4{0, 62, 0};
constexpr key_identity f5{0, 63, 0};
constexpr key_identity f6{0, 64, 0};
constexpr key_identity f7{0, 65, 0};
constexpr key_identity f8{0, 66, 0};
constexpr key_identity f9{0, 67, 0};
constexpr key_identity f10{0, 68, 0};
constexpr key_identity f11{0, 87, 0};
constexpr key_identity f12{0, 88, 0};

constexpr key_identity character(char c) {
    return {static_cast<unsigned char>(c), 0, 0};
}

constexpr unsigned long shift = shift_pressed;
constexpr unsigned long ctrl = left_ctrl_pressed;

// The shape of a sequence. A parameter left empty is missing; SS3's digits
// are its modifier, its second parameter.
constexpr int missing = -1;
constexpr std::size_t most_parameters = 3;
struct sequence_shape {
    bool ss3;
    int parameters[most_parameters];
    std::size_t parameter_count;
    unsigned char final_byte;
};

// Enough digits for any Unicode code point; longer numbers are junk.
constexpr int most_parameter_digits = 7;

bool is_digit(unsigned char byte) {
    return byte >= '0' && byte <= '9';
}

// Reads "p1;p2;p3", each a decimal number or empty. False for anything else:
// a private marker (a report), sub-parameters, intermediate bytes, too many
// or too long numbers.
bool read_parameters(const unsigned char* bytes, std::size_t length, sequence_shape* shape) {
    shape->parameter_count = 1;
    for (int& parameter : shape->parameters) parameter = missing;
    int digits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        int& parameter = shape->parameters[shape->parameter_count - 1];
        if (is_digit(bytes[i])) {
            if (++digits > most_parameter_digits) return false;
            parameter = (parameter == missing ? 0 : parameter * 10) + (bytes[i] - '0');
        } else if (bytes[i] == ';' && shape->parameter_count < most_parameters) {
            ++shape->parameter_count;
            digits = 0;
        } else {
            return false;
        }
    }
    return true;
}

int parameter(const sequence_shape& shape, std::size_t index) {
    return index < shape.parameter_count ? shape.parameters[index] : missing;
}

// The modifier parameter is 1 plus a bit set: Shift 1, Alt 2, Ctrl 4, Meta 8
// (taken as Alt). Higher bits (Super, Hyper, lock states) do not change which
// code a key gives, so they are dropped; beyond them the number is junk.
constexpr int largest_modifier_parameter = 256;

bool modifiers_from_parameter(int parameter, unsigned long* control_state) {
    *control_state = 0;
    if (parameter == missing) return true;
    if (parameter < 1 || parameter > largest_modifier_parameter) return false;
    const int bits = parameter - 1;
    if (bits & 1) *control_state |= shift_pressed;
    if (bits & (2 | 8)) *control_state |= left_alt_pressed;
    if (bits & 4) *control_state |= left_ctrl_pressed;
    return true;
}

// Which first parameter a row of the letter table takes.
constexpr int none_or_one = -2;

struct letter_key {
    unsigned char final_byte;
    int first_parameter;  // missing, none_or_one, or that number
    key_identity key;
    unsigned long modifiers;
};

constexpr letter_key csi_letter_keys[] = {
    {'A', none_or_one, up, 0},
    {'B', none_or_one, down, 0},
    {'C', none_or_one, right, 0},
    {'D', none_or_one, left, 0},
    {'H', none_or_one, home, 0},
    {'F', none_or_one, end, 0},
    {'P', 1, f1, 0},
    {'Q', none_or_one, f2, 0},
    {'R', 1, f3, 0},  // never a cursor report: the program asks for none
    {'S', none_or_one, f4, 0},
    {'Z', none_or_one, tab, shift},
    // rxvt: Shift with the arrows.
    {'a', missing, up, shift},
    {'b', missing, down, shift},
    {'c', missing, right, shift},
    {'d', missing, left, shift},
    // st, keypad not in application mode: editing commands stand for keys.
    {'h', 4, insert, 0},
    {'P', missing, delete_key, 0},
    {'L', missing, insert, ctrl},
    {'l', 4, insert, shift},
    {'K', 2, delete_key, shift},
    {'J', missing, end, ctrl},
    {'K', missing, end, shift},
    {'J', 2, home, shift},
};

// SS3's digits are its modifier, so its first parameter is always missing.
constexpr letter_key ss3_keys[] = {
    {'A', missing, up, 0},
    {'B', missing, down, 0},
    {'C', missing, right, 0},
    {'D', missing, left, 0},
    {'H', missing, home, 0},
    {'F', missing, end, 0},
    {'M', missing, keypad_enter, 0},
    {'o', missing, keypad_slash, 0},
    {'P', missing, f1, 0},
    {'Q', missing, f2, 0},
    {'R', missing, f3, 0},
    {'S', missing, f4, 0},
    // rxvt: Ctrl with the arrows.
    {'a', missing, up, ctrl},
    {'b', missing, down, ctrl},
    {'c', missing, right, ctrl},
    {'d', missing, left, ctrl},
    // The keypad in application mode: keys with a character.
    {'p', missing, character('0'), 0},
    {'q', missing, character('1'), 0},
    {'r', missing, character('2'), 0},
    {'s', missing, character('3'), 0},
    {'t', missing, character('4'), 0},
    {'u', missing, character('5'), 0},
    {'v', missing, character('6'), 0},
    {'w', missing, character('7'), 0},
    {'x', missing, character('8'), 0},
    {'y', missing, character('9'), 0},
    {'j', missing, character('*'), 0},
    {'k', missing, character('+'), 0},
    {'l', missing, character(','), 0},
    {'m', missing, character('-'), 0},
    {'n', missing, character('.'), 0},
    {'X', missing, character('='), 0},
};

template <std::size_t rows>
decoded_key look_up_letter(const letter_key (&table)[rows], const sequence_shape& shape,
                           std::size_t consumed) {
    unsigned long modifiers = 0;
    if (shape.parameter_count > 2 || !modifiers_from_parameter(parameter(shape, 1), &modifiers))
        return skip(consumed);
    const int first = parameter(shape, 0);
    for (const letter_key& row : table) {
        const bool first_fits = row.first_parameter == none_or_one
                                    ? first == missing || first == 1
                                    : first == row.first_parameter;
        if (row.final_byte == shape.final_byte && first_fits)
            return press(consumed, row.key, row.modifiers | modifiers);
    }
    return skip(consumed);
}

struct numbered_key {
    key_identity key;
    unsigned long modifiers;
};

// CSI n ~, by n. 25 to 34 are Shift+F3 to Shift+F10 on rxvt and the Linux
// console, whose Shift+F1 and Shift+F2 are the bytes of F11 and F12.
constexpr numbered_key numbered_keys[] = {
    {no_such_key, 0}, {home, 0}, {insert, 0}, {delete_key, 0}, {end, 0},
    {page_up, 0}, {page_down, 0}, {home, 0}, {end, 0}, {no_such_key, 0},
    {no_such_key, 0}, {f1, 0}, {f2, 0}, {f3, 0}, {f4, 0},
    {f5, 0}, {no_such_key, 0}, {f6, 0}, {f7, 0}, {f8, 0},
    {f9, 0}, {f10, 0}, {no_such_key, 0}, {f11, 0}, {f12, 0},
    {f3, shift}, {f4, shift}, {no_such_key, 0}, {f5, shift}, {f6, shift},
    {no_such_key, 0}, {f7, shift}, {f8, shift}, {f9, shift}, {f10, shift},
};

// rxvt ends the numbered keys with another byte for their modifiers.
struct numbered_final {
    unsigned char final_byte;
    unsigned long modifiers;
};

constexpr numbered_final numbered_finals[] = {
    {'~', 0}, {'$', shift}, {'^', ctrl}, {'@', ctrl | shift},
};

const numbered_final* numbered_final_of(unsigned char byte) {
    for (const numbered_final& row : numbered_finals)
        if (row.final_byte == byte) return &row;
    return nullptr;
}

decoded_key look_up_numbered(const sequence_shape& shape, const numbered_final& ending,
                             std::size_t consumed) {
    unsigned long modifiers = 0;
    const int number = parameter(shape, 0);
    if (shape.parameter_count > 2 || number == missing ||
        number >= static_cast<int>(sizeof numbered_keys / sizeof numbered_keys[0]) ||
        !modifiers_from_parameter(parameter(shape, 1), &modifiers))
        return skip(consumed);
    const numbered_key& key = numbered_keys[number];
    return press(consumed, key.key, key.modifiers | ending.modifiers | modifiers);
}

// Ctrl with a key whose character has a control form: the byte a terminal
// sends for it when it does not tell the key apart.
struct control_form {
    unsigned char typed;
    unsigned char control;
};

constexpr control_form control_forms[] = {
    {' ', 0}, {'2', 0}, {'3', 27}, {'4', 28}, {'5', 29}, {'6', 30}, {'7', 31},
    {'8', 127}, {'/', 31}, {'?', 127}, {'\r', '\n'},
};

unsigned char with_ctrl(unsigned char typed) {
    if ((typed >= '@' && typed <= '_') || (typed >= 'a' && typed <= 'z')) return typed & 0x1f;
    for (const control_form& row : control_forms)
        if (row.typed == typed) return row.control;
    return typed;
}

// Kitty's keys without a character (modifier keys alone among them) are
// numbered in Unicode's private use area.
constexpr int first_private_use = 0xe000;
constexpr int last_private_use = 0xf8ff;

// A character key sent with its modifiers spelt out: the character it makes,
// as the console reports it. A code point beyond a byte gives '?', as an
// 8-bit code page shows it.
decoded_key typed_character(int code_point, int modifier_parameter, std::size_t consumed) {
    unsigned long modifiers = 0;
    if (code_point == missing || !modifiers_from_parameter(modifier_parameter, &modifiers) ||
        (code_point >= first_private_use && code_point <= last_private_use))
        return skip(consumed);
    if (code_point > 0xff) return press(consumed, character('?'), modifiers);
    unsigned char typed = static_cast<unsigned char>(code_point);
    // Tab has no character with Shift or Ctrl: it is Shift+Tab's extended key.
    if (typed == '\t' && (modifiers & (shift | ctrl))) return press(consumed, tab, modifiers);
    if (modifiers & ctrl) {
        typed = with_ctrl(typed);
    } else if ((modifiers & shift) && typed >= 'a' && typed <= 'z') {
        typed -= 'a' - 'A';
    }
    if (typed == 0) return press(consumed, null_key, modifiers);
    return press(consumed, {typed, 0, 0}, modifiers);
}

decoded_key meaning_of(const sequence_shape& shape, std::size_t consumed) {
    if (shape.ss3) return look_up_letter(ss3_keys, shape, consumed);
    // xterm's modifyOtherKeys: CSI 27 ; m ; c ~.
    if (shape.final_byte == '~' && shape.parameter_count == 3 && parameter(shape, 0) == 27)
        return typed_character(parameter(shape, 2), parameter(shape, 1), consumed);
    if (shape.parameter_count > 2) return skip(consumed);
    // The CSI u form: CSI c ; m u.
    if (shape.final_byte == 'u') return typed_character(parameter(shape, 0), parameter(shape, 1), consumed);
    if (const numbered_final* ending = numbered_final_of(shape.final_byte))
        return look_up_numbered(shape, *ending, consumed);
    return look_up_letter(csi_letter_keys, shape, consumed);
}

bool only_digits(const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (!is_digit(bytes[i])) return false;
    return length > 0;
}

// Where the CSI sequence ends: its final byte, or rxvt's '$' after a number
// ('$' is an intermediate byte in the grammar); 0 while it has not ended.
std::size_t csi_length(const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 2; i < length; ++i) {
        if (bytes[i] >= 0x40 && bytes[i] <= 0x7e) return i + 1;
        if (bytes[i] == '$' && only_digits(bytes + 2, i - 2)) return i + 1;
    }
    return 0;
}

constexpr std::size_t mouse_report_length = 6;

// bytes begins with ESC [.
decoded_key decode_csi(const unsigned char* bytes, std::size_t length, bool input_idle) {
    if (length < 3) return unfinished(length, input_idle);
    if (bytes[2] == '[') {
        // The Linux console's F1 to F5: exactly one byte after the second '['.
        if (length < 4) return unfinished(length, input_idle);
        constexpr key_identity linux_function_keys[] = {f1, f2, f3, f4, f5};
        const unsigned index = bytes[3] - 'A';
        return press(4, index < 5 ? linux_function_keys[index] : no_such_key, 0);
    }
    if (bytes[2] == 'M') {
        // A mouse report in the oldest form: three raw bytes, none below a
        // blank, in the same write. st sends CSI M alone for Ctrl+Delete.
        if ((length == 3 && input_idle) || (length > 3 && bytes[3] < 0x20))
            return press(3, delete_key, ctrl);
        if (length < mouse_report_length) return unfinished(length, input_idle);
        return skip(mouse_report_length);
    }
    const std::size_t consumed = csi_length(bytes, length);
    if (consumed == 0) return unfinished(length, input_idle);
    sequence_shape shape{};
    shape.final_byte = bytes[consumed - 1];
    if (!read_parameters(bytes + 2, consumed - 3, &shape)) return skip(consumed);
    return meaning_of(shape, consumed);
}

// bytes begins with ESC O: optional digits (the modifier), then one byte.
decoded_key decode_ss3(const unsigned char* bytes, std::size_t length, bool input_idle) {
    std::size_t final_at = 2;
    while (final_at < length && is_digit(bytes[final_at])) ++final_at;
    if (final_at >= length) return unfinished(length, input_idle);

    const std::size_t consumed = final_at + 1;
    sequence_shape shape{};
    shape.ss3 = true;
    shape.final_byte = bytes[final_at];
    if (!read_parameters(bytes + 2, final_at - 2, &shape)) return skip(consumed);
    shape.parameters[1] = shape.parameters[0];
    shape.parameters[0] = missing;
    shape.parameter_count = 2;
    return meaning_of(shape, consumed);
}

}  // namespace

decoded_key decode_sequence(const unsigned char* bytes, std::size_t length, bool input_idle) {
    if (bytes[1] == 'O') return decode_ss3(bytes, length, input_idle);
    return decode_csi(bytes, length, input_idle);
}
