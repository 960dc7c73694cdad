#include "extended_keys.h"

namespace {

enum modifier_column { no_modifier, with_shift, with_ctrl, with_alt, modifier_columns };

constexpr short no = no_key_code;

// Keys without the enhanced flag, by scan code (set 1). Only first codes are
// kept: a key counts as extended where its pair starts with 0 or 224, and the
// second code of a pair never reaches the caller.
constexpr short plain_keys[][modifier_columns] = {
    // none shift ctrl alt
    { no,  no,  no,  no}, // 0
    { no,  no,  no,   0}, // 1 Escape
    { no,  no,  no,   0}, // 2 1
    { no,  no,   0,   0}, // 3 2 (Ctrl+2 is the null key)
    { no,  no,  no,   0}, // 4 3
    { no,  no,  no,   0}, // 5 4
    { no,  no,  no,   0}, // 6 5
    { no,  no,  no,   0}, // 7 6
    { no,  no,  no,   0}, // 8 7
    { no,  no,  no,   0}, // 9 8
    { no,  no,  no,   0}, // 10 9
    { no,  no,  no,   0}, // 11 0
    { no,  no,  no,   0}, // 12 -
    { no,  no,  no,   0}, // 13 =
    { no,  no,  no,   0}, // 14 Backspace
    { no,   0,   0,   0}, // 15 Tab
    { no,  no,  no,   0}, // 16 Q
    { no,  no,  no,   0}, // 17 W
    { no,  no,  no,   0}, // 18 E
    { no,  no,  no,   0}, // 19 R
    { no,  no,  no,   0}, // 20 T
    { no,  no,  no,   0}, // 21 Y
    { no,  no,  no,   0}, // 22 U
    { no,  no,  no,   0}, // 23 I
    { no,  no,  no,   0}, // 24 O
    { no,  no,  no,   0}, // 25 P
    { no,  no,  no,   0}, // 26 [
    { no,  no,  no,   0}, // 27 ]
    { no,  no,  no,   0}, // 28 Enter
    { no,  no,  no,  no}, // 29 Ctrl
    { no,  no,  no,   0}, // 30 A
    { no,  no,  no,   0}, // 31 S
    { no,  no,  no,   0}, // 32 D
    { no,  no,  no,   0}, // 33 F
    { no,  no,  no,   0}, // 34 G
    { no,  no,  no,   0}, // 35 H
    { no,  no,  no,   0}, // 36 J
    { no,  no,  no,   0}, // 37 K
    { no,  no,  no,   0}, // 38 L
    { no,  no,  no,   0}, // 39 ;
    { no,  no,  no,   0}, // 40 '
    { no,  no,  no,   0}, // 41 `
    { no,  no,  no,  no}, // 42 left Shift
    { no,  no,  no,  no}, // 43 backslash
    { no,  no,  no,   0}, // 44 Z
    { no,  no,  no,   0}, // 45 X
    { no,  no,  no,   0}, // 46 C
    { no,  no,  no,   0}, // 47 V
    { no,  no,  no,   0}, // 48 B
    { no,  no,  no,   0}, // 49 N
    { no,  no,  no,   0}, // 50 M
    { no,  no,  no,   0}, // 51 ,
    { no,  no,  no,   0}, // 52 .
    { no,  no,  no,   0}, // 53 /
    { no,  no,  no,  no}, // 54 right Shift
    { no,  no,  no,  no}, // 55 keypad *
    { no,  no,  no,  no}, // 56 Alt
    { no,  no,  no,  no}, // 57 space bar
    { no,  no,  no,  no}, // 58 Caps Lock
    {  0,   0,   0,   0}, // 59 F1
    {  0,   0,   0,   0}, // 60 F2
    {  0,   0,   0,   0}, // 61 F3
    {  0,   0,   0,   0}, // 62 F4
    {  0,   0,   0,   0}, // 63 F5
    {  0,   0,   0,   0}, // 64 F6
    {  0,   0,   0,   0}, // 65 F7
    {  0,   0,   0,   0}, // 66 F8
    {  0,   0,   0,   0}, // 67 F9
    {  0,   0,   0,   0}, // 68 F10
    { no,  no,  no,  no}, // 69 Num Lock
    { no,  no,  no,  no}, // 70 Scroll Lock
    {  0,  no,   0,  no}, // 71 keypad 7, Home
    {  0,  no,   0,  no}, // 72 keypad 8, Up
    {  0,  no,   0,  no}, // 73 keypad 9, Page Up
    { no,  no,  no,  no}, // 74 keypad -
    {  0,  no,   0,  no}, // 75 keypad 4, Left
    { no,  no,  no,  no}, // 76 keypad 5
    {  0,  no,   0,  no}, // 77 keypad 6, Right
    { no,  no,  no,  no}, // 78 keypad +
    {  0,  no,   0,  no}, // 79 keypad 1, End
    {  0,  no,   0,  no}, // 80 keypad 2, Down
    {  0,  no,   0,  no}, // 81 keypad 3, Page Down
    {  0,  no,   0,  no}, // 82 keypad 0, Insert
    {  0,  no,   0,  no}, // 83 keypad ., Delete
    { no,  no,  no,  no}, // 84 SysRq
    { no,  no,  no,  no}, // 85
    { no,  no,  no,  no}, // 86 102nd key
    {224, 224, 224, 224}, // 87 F11
    {224, 224, 224, 224}, // 88 F12
};

struct enhanced_entry {
    unsigned scan_code;
    short first_code[modifier_columns];
};

// Enhanced keys: the separate cursor block, keypad Enter and keypad slash.
// Each of them has a code in every modifier state.
constexpr enhanced_entry enhanced_keys[] = {
    //               none shift ctrl alt
    {28, { 13,  13,  10,   0}}, // keypad Enter
    {53, { 47,  63,   0,   0}}, // keypad /
    {71, {224, 224, 224,   0}}, // Home
    {72, {224, 224, 224,   0}}, // Up
    {73, {224, 224, 224,   0}}, // Page Up
    {75, {224, 224, 224,   0}}, // Left
    {77, {224, 224, 224,   0}}, // Right
    {79, {224, 224, 224,   0}}, // End
    {80, {224, 224, 224,   0}}, // Down
    {81, {224, 224, 224,   0}}, // Page Down
    {82, {224, 224, 224,   0}}, // Insert
    {83, {224, 224, 224,   0}}, // Delete
};

modifier_column column_for(unsigned long control_state) {
    if (control_state & (left_alt_pressed | right_alt_pressed)) return with_alt;
    if (control_state & (left_ctrl_pressed | right_ctrl_pressed)) return with_ctrl;
    if (control_state & shift_pressed) return with_shift;
    return no_modifier;
}

}  // namespace

int extended_code(unsigned scan_code, unsigned long control_state) {
    const modifier_column column = column_for(control_state);
    if (control_state & enhanced_key) {
        for (const enhanced_entry& entry : enhanced_keys)
            if (entry.scan_code == scan_code) return entry.first_code[column];
        return no_key_code;
    }
    if (scan_code >= sizeof plain_keys / sizeof plain_keys[0]) return no_key_code;
    return plain_keys[scan_code][column];
}

int key_event_code(const key_event& event) {
    if (!event.key_down) return no_key_code;
    if (event.character != 0) return event.character;
    return extended_code(event.scan_code, event.control_state);
}
