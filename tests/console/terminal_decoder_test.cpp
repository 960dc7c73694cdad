#include "console/terminal_decoder.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

decoded_key decode(const std::string& bytes, bool input_idle) {
    return decode_terminal_key(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               input_idle);
}

std::string shown(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, byte >= 0x21 && byte < 0x7f ? "%c" : "\\x%02x", byte);
        text += hex;
    }
    return text;
}

struct key_case {
    std::string bytes;
    unsigned scan_code;
    unsigned long control_state;
    int code;
};

constexpr unsigned long enhanced = enhanced_key;
constexpr unsigned long shift = shift_pressed;
constexpr unsigned long alt = left_alt_pressed;
constexpr unsigned long ctrl = left_ctrl_pressed;

// Every sequence of the common terminals, whole and alone in the buffer.
TEST(TerminalDecoder, SequencesBecomeConsoleKeys) {
    const key_case cases[] = {
        {"\x1b[A", 72, enhanced, 224}, {"\x1bOA", 72, enhanced, 224},
        {"\x1b[B", 80, enhanced, 224}, {"\x1bOB", 80, enhanced, 224},
        {"\x1b[C", 77, enhanced, 224}, {"\x1bOC", 77, enhanced, 224},
        {"\x1b[D", 75, enhanced, 224}, {"\x1bOD", 75, enhanced, 224},
        {"\x1b[H", 71, enhanced, 224}, {"\x1bOH", 71, enhanced, 224},
        {"\x1b[1~", 71, enhanced, 224}, {"\x1b[7~", 71, enhanced, 224},
        {"\x1b[F", 79, enhanced, 224}, {"\x1bOF", 79, enhanced, 224},
        {"\x1b[4~", 79, enhanced, 224}, {"\x1b[8~", 79, enhanced, 224},
        {"\x1b[2~", 82, enhanced, 224}, {"\x1b[3~", 83, enhanced, 224},
        {"\x1b[5~", 73, enhanced, 224}, {"\x1b[6~", 81, enhanced, 224},
        {"\x1bOM", 28, enhanced, 13}, {"\x1bOo", 53, enhanced, 47},
        {"\x1bOP", 59, 0, 0}, {"\x1b[11~", 59, 0, 0}, {"\x1b[[A", 59, 0, 0}, {"\x1b[1P", 59, 0, 0},
        {"\x1bOQ", 60, 0, 0}, {"\x1b[12~", 60, 0, 0}, {"\x1b[[B", 60, 0, 0}, {"\x1b[Q", 60, 0, 0},
        {"\x1bOR", 61, 0, 0}, {"\x1b[13~", 61, 0, 0}, {"\x1b[[C", 61, 0, 0},
        {"\x1bOS", 62, 0, 0}, {"\x1b[14~", 62, 0, 0}, {"\x1b[[D", 62, 0, 0}, {"\x1b[S", 62, 0, 0},
        {"\x1b[15~", 63, 0, 0}, {"\x1b[[E", 63, 0, 0},
        {"\x1b[17~", 64, 0, 0}, {"\x1b[18~", 65, 0, 0}, {"\x1b[19~", 66, 0, 0},
        {"\x1b[20~", 67, 0, 0}, {"\x1b[21~", 68, 0, 0},
        {"\x1b[23~", 87, 0, 224}, {"\x1b[24~", 88, 0, 224},
        {"\x1b[Z", 15, shift, 0},
        // xterm's modifier parameter.
        {"\x1b[1;5D", 75, enhanced | ctrl, 224},
        {"\x1b[1;3A", 72, enhanced | alt, 0},
        {"\x1b[1;5P", 59, ctrl, 0},
        {"\x1b[24;2~", 88, shift, 224},
        {"\x1bO5P", 59, ctrl, 0},
        {"\x1bO2S", 62, shift, 0},
        {"\x1b[1;2C", 77, enhanced | shift, 224},
        {"\x1b[3;5~", 83, enhanced | ctrl, 224},
        {"\x1b[1;7H", 71, enhanced | alt | ctrl, 0},
        {"\x1b[1;8F", 79, enhanced | shift | alt | ctrl, 0},
        {"\x1b[1;9A", 72, enhanced | alt, 0},            // Meta counts as Alt
        {"\x1b[1;65A", 72, enhanced, 224},               // a lock state, ignored
        {"\x1b[;5A", 72, enhanced | ctrl, 224},
        {"\x1b[15;3~", 63, alt, 0},
        {"\x1b[1;2R", 61, shift, 0},  // F3 with modifiers, never a cursor report
        {"\x1b[1;5R", 61, ctrl, 0},
        {"\x1b[1;3R", 61, alt, 0},
        {"\x1b[24;10~", 88, shift | alt, 224},  // Shift+Meta+F12
        {"\x1b[15;13~", 63, ctrl | alt, 0},     // Ctrl+Meta+F5
        // rxvt: Shift and Ctrl arrows, and numbered keys ending in $ ^ @.
        {"\x1b[a", 72, enhanced | shift, 224}, {"\x1b[b", 80, enhanced | shift, 224},
        {"\x1b[c", 77, enhanced | shift, 224}, {"\x1b[d", 75, enhanced | shift, 224},
        {"\x1bOa", 72, enhanced | ctrl, 224}, {"\x1bOb", 80, enhanced | ctrl, 224},
        {"\x1bOc", 77, enhanced | ctrl, 224}, {"\x1bOd", 75, enhanced | ctrl, 224},
        {"\x1b[3$", 83, enhanced | shift, 224},
        {"\x1b[7^", 71, enhanced | ctrl, 224},
        {"\x1b[7@", 71, enhanced | ctrl | shift, 224},
        {"\x1b[11^", 59, ctrl, 0},
        {"\x1b[24$", 88, shift, 224},
        {"\x1b[24^", 88, ctrl, 224},
        {"\x1b[25~", 61, shift, 0}, {"\x1b[26~", 62, shift, 0}, {"\x1b[28~", 63, shift, 0},
        {"\x1b[29~", 64, shift, 0}, {"\x1b[31~", 65, shift, 0}, {"\x1b[32~", 66, shift, 0},
        {"\x1b[33~", 67, shift, 0}, {"\x1b[34~", 68, shift, 0},
        {"\x1b[25^", 61, shift | ctrl, 0},
        // st with the keypad not in application mode.
        {"\x1b[4h", 82, enhanced, 224}, {"\x1b[P", 83, enhanced, 224},
        {"\x1b[L", 82, enhanced | ctrl, 224}, {"\x1b[4l", 82, enhanced | shift, 224},
        {"\x1b[2K", 83, enhanced | shift, 224}, {"\x1b[J", 79, enhanced | ctrl, 224},
        {"\x1b[K", 79, enhanced | shift, 224}, {"\x1b[2J", 71, enhanced | shift, 224},
        {"\x1b[M", 83, enhanced | ctrl, 224},  // Ctrl+Delete, alone once the input is quiet
        // Keys with a character have no extended code with some modifiers.
        {"\x1b[9;2u", 15, shift, 0},
        {"\x1b[27;5;9~", 15, ctrl, 0},
        {"\x1b[32;5u", 3, ctrl, 0},  // Ctrl+Space, the null key
        {"\x1b[27;5;50~", 3, ctrl, 0},
        // ESC before a key is that key with Alt.
        {"\x1b\x1b[A", 72, enhanced | alt, 0},
        {"\x1b\x1b[11~", 59, alt, 0},
        {"\x1b\x1b[3$", 83, enhanced | shift | alt, 0},
    };
    for (const key_case& c : cases) {
        const decoded_key decoded = decode(c.bytes, c.bytes == "\x1b[M");
        ASSERT_EQ(decoded.outcome, decode_outcome::key) << shown(c.bytes);
        EXPECT_EQ(decoded.consumed, c.bytes.size()) << shown(c.bytes);
        EXPECT_TRUE(decoded.event.key_down) << shown(c.bytes);
        EXPECT_EQ(decoded.event.character, 0) << shown(c.bytes);
        EXPECT_EQ(decoded.event.scan_code, c.scan_code) << shown(c.bytes);
        EXPECT_EQ(decoded.event.control_state, c.control_state) << shown(c.bytes);
        EXPECT_EQ(key_event_code(decoded.event), c.code) << shown(c.bytes);
    }
    EXPECT_EQ(decode("\x1b[Ax", false).consumed, 3u) << "the next key stays";
    EXPECT_EQ(decode("\x1b[M\x1b[A", false).consumed, 3u) << "Ctrl+Delete, then Up";
}

struct typed_case {
    std::string bytes;
    int code;
};

// Sequences for keys that make a character give that character.
TEST(TerminalDecoder, SequencesThatMakeACharacter) {
    const typed_case cases[] = {
        // The keypad in application mode.
        {"\x1bOp", '0'}, {"\x1bOq", '1'}, {"\x1bOr", '2'}, {"\x1bOs", '3'}, {"\x1bOt", '4'},
        {"\x1bOu", '5'}, {"\x1bOv", '6'}, {"\x1bOw", '7'}, {"\x1bOx", '8'}, {"\x1bOy", '9'},
        {"\x1bOj", '*'}, {"\x1bOk", '+'}, {"\x1bOl", ','}, {"\x1bOm", '-'}, {"\x1bOn", '.'},
        {"\x1bOX", '='},
        // xterm's modifyOtherKeys.
        {"\x1b[27;5;97~", 1},    // Ctrl+a
        {"\x1b[27;6;65~", 1},    // Ctrl+Shift+A
        {"\x1b[27;5;122~", 26},  // Ctrl+z
        {"\x1b[27;5;91~", 27},   // Ctrl+[
        {"\x1b[27;5;54~", 30},   // Ctrl+6
        {"\x1b[27;5;63~", 127},  // Ctrl+?
        {"\x1b[27;5;49~", '1'},  // Ctrl+1 has no control form
        {"\x1b[27;5;13~", 10},   // Ctrl+Enter
        {"\x1b[27;3;120~", 'x'}, // Alt+x
        {"\x1b[27;2;97~", 'A'},  // Shift+a
        {"\x1b[27;2;33~", '!'},
        {"\x1b[27;7;97~", 1},    // Ctrl+Alt+a
        {"\x1b[27;5;233~", 233},
        {"\x1b[27;5;1114111~", '?'},
        {"\x1b[27;2;1114111~", '?'},  // every digit counts, after each ';' afresh
        // The CSI u form.
        {"\x1b[97u", 'a'},
        {"\x1b[97;5u", 1},
        {"\x1b[27u", 27},        // Escape
        {"\x1b[13u", 13},
        {"\x1b[13;2u", 13},      // Shift+Enter
        {"\x1b[13;5u", 10},
        {"\x1b[120;3u", 'x'},
        {"\x1b[127;5u", 127},
        {"\x1b[233u", 233},
        {"\x1b[8364u", '?'},     // the euro sign
        {"\x1b[1114111;2u", '?'},
        {"\x1b[9u", 9},
        {"\x1b\x1b[97u", 'a'},   // with Alt
    };
    for (const typed_case& c : cases) {
        const decoded_key decoded = decode(c.bytes, false);
        ASSERT_EQ(decoded.outcome, decode_outcome::key) << shown(c.bytes);
        EXPECT_EQ(decoded.consumed, c.bytes.size()) << shown(c.bytes);
        EXPECT_EQ(key_event_code(decoded.event), c.code) << shown(c.bytes);
    }
}

struct character_case {
    std::string bytes;
    bool input_idle;
    std::size_t consumed;
    int code;
};

TEST(TerminalDecoder, BytesThatAreCharacters) {
    const character_case cases[] = {
        {"a", false, 1, 'a'},
        {"ab", false, 1, 'a'},
        {"\r", false, 1, 13},
        {"\t", false, 1, 9},
        {"\x7f", false, 1, 127},
        {"\x08", false, 1, 8},
        {"\x03", false, 1, 3},
        {std::string("\0", 1), false, 1, 0},
        {"\xff", false, 1, 255},
        // Alt+character, and Escape alone once the input is quiet.
        {"\x1bx", false, 2, 'x'},
        {std::string("\x1b\0", 2), false, 2, 0},
        {"\x1b", true, 1, 27},
        {"\x1b\x1b", true, 2, 27},
        {"\x1b\x1b\x1b", false, 2, 27},
        // UTF-8: a code point up to 255 is itself, a larger one '?'.
        {"\xc3\xa9", false, 2, 233},
        {"\xc3\xa9z", false, 2, 233},
        {"\xc2\x80", false, 2, 128},
        {"\xc3\xbf", false, 2, 255},
        {"\xc4\x80", false, 2, '?'},
        {"\xe2\x82\xac", false, 3, '?'},
        {"\xf0\x9f\x98\x80", false, 4, '?'},
        {"\xf4\x8f\xbf\xbf", false, 4, '?'},
        {"\x1b\xc3\xa9", false, 3, 233},
        // Latin-1: bytes that begin no valid UTF-8 sequence.
        {"\xe9", true, 1, 233},
        {"\xe9t", false, 1, 233},
        {"\xc3", true, 1, 195},
        {"\xc3" "a", false, 1, 195},
        {"\xe2\x82", true, 1, 226},
        {"\xc0\xaf", false, 1, 192},
        {"\xc1\xbf", false, 1, 193},
        {"\x80", false, 1, 128},
        {"\xbf", false, 1, 191},
        {"\xe0\x80\x80", false, 1, 224},
        {"\xed\xa0\x80", false, 1, 237},
        {"\xf0\x80\x80\x80", false, 1, 240},
        {"\xf4\x90\x80\x80", false, 1, 244},
        {"\xf5\x80\x80\x80", false, 1, 245},
        {"\xe0\xa4\x95", false, 3, '?'},  // U+0915: 0xE0 leads three bytes
        {"\xe0\xa0\x80", false, 3, '?'},
        {"\xe0\xa4", true, 1, 224},
        {"\x1b\xc3", true, 2, 195},
    };
    for (const character_case& c : cases) {
        const decoded_key decoded = decode(c.bytes, c.input_idle);
        ASSERT_EQ(decoded.outcome, decode_outcome::key) << shown(c.bytes);
        EXPECT_EQ(decoded.consumed, c.consumed) << shown(c.bytes);
        EXPECT_EQ(key_event_code(decoded.event), c.code) << shown(c.bytes);
    }
}

// Every proper start of a key waits for its rest; once the input is quiet,
// a cut-off sequence is skipped whole.
TEST(TerminalDecoder, PartialKeysNeedMoreBytes) {
    const std::string starts[] = {
        "\x1b", "\x1b[", "\x1b[1", "\x1b[1;", "\x1b[1;5", "\x1b[24;2", "\x1bO", "\x1bO5",
        "\x1b[[", "\x1b[M", "\x1b[M !", "\x1b[<0;10;20", "\xc3", "\xe2", "\xe2\x82", "\xf0\x9f\x98",
        "\x1b\xc3", "\x1b\x1b", "\x1b\x1b[", "\x1b\x1bO",
        "\x1b[M", "\x1b[3", "\x1b[27;5;97", "\x1b[1114111;2", "\xe0\xa4",
    };
    for (const std::string& start : starts) {
        const decoded_key decoded = decode(start, false);
        EXPECT_EQ(decoded.outcome, decode_outcome::need_more) << shown(start);
        EXPECT_EQ(decoded.consumed, 0u) << shown(start);
    }
    const std::string cut_off[] = {
        "\x1b[", "\x1b[1;5", "\x1bO", "\x1bO5", "\x1b[[", "\x1b[M !", "\x1b\x1b[", "\x1b\x1bO2",
        "\x1b[27;5;97", "\x1b[3",
    };
    for (const std::string& sequence : cut_off) {
        const decoded_key decoded = decode(sequence, true);
        EXPECT_EQ(decoded.outcome, decode_outcome::not_a_key) << shown(sequence);
        EXPECT_EQ(decoded.consumed, sequence.size()) << shown(sequence);
    }
}

struct skipped_case {
    std::string bytes;
    std::size_t consumed;
};

// Complete sequences that name no key are consumed to their end, no further.
TEST(TerminalDecoder, UnknownSequencesAreSkippedWhole) {
    const skipped_case cases[] = {
        {"\x1b[I", 3},                // focus in
        {"\x1b[O", 3},                // focus out
        {"\x1b[<0;10;20M", 11},       // mouse report
        {"\x1b[<0;10;20mx", 11},
        {"\x1b[M !!", 6},             // mouse report, oldest form
        {"\x1b[M !!x", 6},
        {"\x1b[35~", 5},              // beyond Shift+F10
        {"\x1b[99~", 5},
        {"\x1b[200~", 6},             // bracketed paste markers
        {"\x1b[201~x", 6},
        {"\x1b[27;5~", 7},            // modifyOtherKeys without its character
        {"\x1b[27;5;97;1~", 12},
        {"\x1b[57441;2u", 10},        // kitty's left Shift alone
        {"\x1b[u", 3},
        {"\x1b[97;300u", 9},
        {"\x1b[3;5$~", 7},            // '$' ends only a bare number
        {"\x1b[?1;2$y", 8},
        {"\x1b[12345678u", 11},       // longer than any code point
        {"\x1b[M !!", 6},
        {"\x1b[0~", 4},
        {"\x1b[~", 3},
        {"\x1b[R", 3},
        {"\x1b[?1;2c", 7},            // a terminal's answer to a query
        {"\x1b[2A", 4},
        {"\x1b[1;0A", 6},
        {"\x1b[1;2;3A", 8},
        {"\x1b[1:2A", 6},
        {"\x1b[1234~", 7},
        {"\x1b[1;1000A", 9},
        {"\x1b[ q", 4},
        {"\x1b[[F", 4},
        {"\x1b[[Fx", 4},
        {"\x1bOz", 3},
        {"\x1bO1234P", 7},
        {"\x1bO\x7f", 3},
        {"\x1b\x1b[I", 4},
    };
    for (const skipped_case& c : cases) {
        const decoded_key decoded = decode(c.bytes, false);
        EXPECT_EQ(decoded.outcome, decode_outcome::not_a_key) << shown(c.bytes);
        EXPECT_EQ(decoded.consumed, c.consumed) << shown(c.bytes);
    }
}

// A runaway sequence fills the reader's buffer and waits for its final byte;
// what finally comes is junk, not a key.
TEST(TerminalDecoder, RunawaySequenceStaysWithinTheBuffer) {
    std::string runaway = "\x1b[";
    runaway.append(longest_sequence - 2, '1');
    EXPECT_EQ(decode(runaway, false).outcome, decode_outcome::need_more);

    runaway.back() = '~';
    const decoded_key decoded = decode(runaway, false);
    EXPECT_EQ(decoded.outcome, decode_outcome::not_a_key);
    EXPECT_EQ(decoded.consumed, longest_sequence);

    std::string ss3_runaway = "\x1bO";
    ss3_runaway.append(longest_sequence - 2, '5');
    EXPECT_EQ(decode(ss3_runaway, false).outcome, decode_outcome::need_more);
    EXPECT_EQ(decode(ss3_runaway, true).consumed, longest_sequence);
}

// Over every buffer of up to two bytes, and every Escape with two more: a key
// never claims more than it was given, quiet input always settles, and
// anything that is not "need more" takes at least one byte.
TEST(TerminalDecoder, AlwaysMakesProgressWithinTheBytesGiven) {
    auto check = [](const unsigned char* bytes, std::size_t length) {
        for (bool input_idle : {false, true}) {
            const decoded_key decoded = decode_terminal_key(bytes, length, input_idle);
            ASSERT_LE(decoded.consumed, length);
            if (decoded.outcome == decode_outcome::need_more) {
                ASSERT_FALSE(input_idle);
                ASSERT_EQ(decoded.consumed, 0u);
            } else {
                ASSERT_GE(decoded.consumed, 1u);
            }
        }
    };
    unsigned char bytes[3] = {0x1b, 0, 0};
    for (unsigned first = 0; first < 256; ++first) {
        bytes[0] = static_cast<unsigned char>(first);
        check(bytes, 1);
        for (unsigned second = 0; second < 256; ++second) {
            bytes[1] = static_cast<unsigned char>(second);
            check(bytes, 2);
        }
    }
    bytes[0] = 0x1b;
    for (unsigned second = 0; second < 256; ++second)
        for (unsigned third = 0; third < 256; ++third) {
            bytes[1] = static_cast<unsigned char>(second);
            bytes[2] = static_cast<unsigned char>(third);
            check(bytes, 3);
        }
}

}  // namespace
