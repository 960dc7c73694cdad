#include "console/extended_keys.h"

#include <initializer_list>
#include <utility>

#include <gtest/gtest.h>

namespace {

using scan_ranges = std::initializer_list<std::pair<unsigned, unsigned>>;

bool within(unsigned scan_code, scan_ranges ranges) {
    for (const auto& range : ranges)
        if (scan_code >= range.first && scan_code <= range.second) return true;
    return false;
}

struct modifier_case {
    const char* name;
    unsigned long control_state;
    scan_ranges scan_codes_with_code;
};

constexpr unsigned long any_alt = left_alt_pressed;
constexpr unsigned long any_ctrl = left_ctrl_pressed;

const scan_ranges with_alt = {{1, 28}, {30, 41}, {44, 53}, {59, 68}, {87, 88}};
const scan_ranges with_ctrl = {{3, 3}, {15, 15}, {59, 68}, {71, 73}, {75, 75}, {77, 77}, {79, 83}, {87, 88}};
const scan_ranges with_shift = {{15, 15}, {59, 68}, {87, 88}};
const scan_ranges unmodified = {{59, 68}, {71, 73}, {75, 75}, {77, 77}, {79, 83}, {87, 88}};

// Which plain keys have a code, state by state; Alt wins over Ctrl, Ctrl over Shift.
TEST(ExtendedCode, PlainKeysByModifierState) {
    const modifier_case cases[] = {
        {"left Alt", left_alt_pressed, with_alt},
        {"right Alt", right_alt_pressed, with_alt},
        {"Alt+Ctrl+Shift", any_alt | any_ctrl | shift_pressed, with_alt},
        {"left Ctrl", left_ctrl_pressed, with_ctrl},
        {"right Ctrl", right_ctrl_pressed, with_ctrl},
        {"Ctrl+Shift", any_ctrl | shift_pressed, with_ctrl},
        {"Shift", shift_pressed, with_shift},
        {"none", 0, unmodified},
        {"lock states only", 0x0020 | 0x0040 | 0x0080, unmodified},
    };
    for (const modifier_case& c : cases) {
        for (unsigned scan_code = 0; scan_code <= 300; ++scan_code) {
            const bool function_key_11_or_12 = scan_code == 87 || scan_code == 88;
            const int expected = !within(scan_code, c.scan_codes_with_code) ? no_key_code
                                 : function_key_11_or_12                   ? 224
                                                                           : 0;
            EXPECT_EQ(extended_code(scan_code, c.control_state), expected)
                << c.name << ", scan code " << scan_code;
        }
    }
}

struct enhanced_case {
    unsigned scan_code;
    int unmodified, shift, ctrl, alt;
};

TEST(ExtendedCode, EnhancedKeysByModifierState) {
    const enhanced_case cases[] = {
        {28, 13, 13, 10, 0},    // keypad Enter
        {53, 47, 63, 0, 0},     // keypad /
        {71, 224, 224, 224, 0}, // Home
        {72, 224, 224, 224, 0}, // Up
        {73, 224, 224, 224, 0}, // Page Up
        {75, 224, 224, 224, 0}, // Left
        {77, 224, 224, 224, 0}, // Right
        {79, 224, 224, 224, 0}, // End
        {80, 224, 224, 224, 0}, // Down
        {81, 224, 224, 224, 0}, // Page Down
        {82, 224, 224, 224, 0}, // Insert
        {83, 224, 224, 224, 0}, // Delete
        // Right-hand Ctrl and Alt, and keys that are never enhanced.
        {29, no_key_code, no_key_code, no_key_code, no_key_code},
        {56, no_key_code, no_key_code, no_key_code, no_key_code},
        {59, no_key_code, no_key_code, no_key_code, no_key_code},
        {1, no_key_code, no_key_code, no_key_code, no_key_code},
    };
    for (const enhanced_case& c : cases) {
        EXPECT_EQ(extended_code(c.scan_code, enhanced_key), c.unmodified) << c.scan_code;
        EXPECT_EQ(extended_code(c.scan_code, enhanced_key | shift_pressed), c.shift) << c.scan_code;
        EXPECT_EQ(extended_code(c.scan_code, enhanced_key | right_ctrl_pressed), c.ctrl) << c.scan_code;
        EXPECT_EQ(extended_code(c.scan_code, enhanced_key | right_alt_pressed | left_ctrl_pressed), c.alt)
            << c.scan_code;
    }
}

struct event_case {
    const char* name;
    key_event event;
    int expected;
};

// The same records a console delivers: press and release, characters first.
TEST(KeyEventCode, CharacterElseExtendedCodeElseSkipped) {
    const event_case cases[] = {
        {"letter", {true, 'a', 30, 0}, 'a'},
        {"letter released", {false, 'a', 30, 0}, no_key_code},
        {"Enter", {true, 13, 28, 0}, 13},
        {"Enter released, held before the wait", {false, 13, 28, 0}, no_key_code},
        {"Escape", {true, 27, 1, 0}, 27},
        {"Ctrl+C", {true, 3, 46, left_ctrl_pressed}, 3},
        {"Alt+x keeps its character", {true, 'x', 45, left_alt_pressed}, 'x'},
        {"Latin-1 character", {true, 0xe9, 3, 0}, 233},
        {"character 255", {true, 0xff, 0, 0}, 255},
        {"F1", {true, 0, 59, 0}, 0},
        {"F1 released", {false, 0, 59, 0}, no_key_code},
        {"F12", {true, 0, 88, 0}, 224},
        {"Up, cursor block", {true, 0, 72, enhanced_key}, 224},
        {"Up, keypad", {true, 0, 72, 0}, 0},
        {"Alt+Up", {true, 0, 72, enhanced_key | left_alt_pressed}, 0},
        {"Ctrl+2", {true, 0, 3, left_ctrl_pressed}, 0},
        {"keypad Enter without a character", {true, 0, 28, enhanced_key}, 13},
        {"Shift alone", {true, 0, 42, shift_pressed}, no_key_code},
        {"right Shift alone", {true, 0, 54, shift_pressed}, no_key_code},
        {"Ctrl alone", {true, 0, 29, left_ctrl_pressed}, no_key_code},
        {"right Ctrl alone", {true, 0, 29, right_ctrl_pressed | enhanced_key}, no_key_code},
        {"Alt alone", {true, 0, 56, left_alt_pressed}, no_key_code},
        {"right Alt alone", {true, 0, 56, right_alt_pressed | enhanced_key}, no_key_code},
        {"Caps Lock", {true, 0, 58, 0x0080}, no_key_code},
        {"Num Lock", {true, 0, 69, 0x0020}, no_key_code},
        {"Scroll Lock", {true, 0, 70, 0x0040}, no_key_code},
        {"space bar without a character", {true, 0, 57, 0}, no_key_code},
        {"scan code 0", {true, 0, 0, 0}, no_key_code},
        {"scan code beyond F12", {true, 0, 89, 0}, no_key_code},
    };
    for (const event_case& c : cases) EXPECT_EQ(key_event_code(c.event), c.expected) << c.name;
}

}  // namespace
