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
        {"\x1bOP", 59, 0, 0}, {"\x1b[11~", 59, 0, 0}, {"\x1b[[A", 59, 0, 0}, {"\x1b[P", 59, 0, 0},
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
        // ESC before a key is that key with Alt.
        {"\x1b\x1b[A", 72, enhanced | alt, 0},
    };
    for (const key_case& c : cases) {
        const decoded_key decoded = decode(c.bytes, false);
        ASSERT_EQ(decoded.outcome, decode_outcome::key) << shown(c.bytes);
        EXPECT_EQ(decoded.consumed, c.bytes.size()) << shown(c.bytes);
        EXPECT_TRUE(decoded.event.key_down) << shown(c.bytes);
        EXPECT_EQ(decoded.event.character, 0) << shown(c.bytes);
        EXPECT_EQ(decoded.event.scan_code, c.scan_code) << shown(c.bytes);
        EXPECT_EQ(decoded.event.control_state, c.control_state) << shown(c.bytes);
        EXPECT_EQ(key_event_code(decoded.event), c.code) << shown(c.bytes);
    }
    EXPECT_EQ(decode("\x1b[Ax", false).consumed, 3u) << "the next key stays";
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
    };
    for (const std::string& start : starts) {
        const decoded_key decoded = decode(start, false);
        EXPECT_EQ(decoded.outcome, decode_outcome::need_more) << shown(start);
        EXPECT_EQ(decoded.consumed, 0u) << shown(start);
    }
    const std::string cut_off[] = {
        "\x1b[", "\x1b[1;5", "\x1bO", "\x1bO5", "\x1b[[", "\x1b[M !", "\x1b\x1b[", "\x1b\x1bO2",
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
        {"\x1b[25~", 5},              // F13
        {"\x1b[99~", 5},
        {"\x1b[0~", 4},
        {"\x1b[~", 3},
        {"\x1b[1;2R", 6},             // a cursor position report
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
        {"\x1bOx", 3},
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
