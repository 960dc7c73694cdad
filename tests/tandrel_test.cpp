// The real program on a pseudo-terminal: its dialogue, its key wait, and the
// terminal as it leaves it.
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include "dialogue.h"
#include "pty_session.h"

namespace {

constexpr int patience_ms = 5000;

// Not-a-number is spelt as the C library spells it; only its field is fixed.
void expect_not_a_number_dialogue(const std::string& output) {
    const std::string start = dialogue_before_result + result_start;
    ASSERT_GE(output.size(), start.size() + dialogue_after_result.size()) << output;
    EXPECT_EQ(output.substr(0, start.size()), start);
    EXPECT_EQ(output.substr(output.size() - dialogue_after_result.size()), dialogue_after_result);
    const std::string field = output.substr(
        start.size(), output.size() - start.size() - dialogue_after_result.size());
    EXPECT_EQ(field.size(), 6u) << field;
    EXPECT_NE(field.find("nan"), std::string::npos) << field;
}

void expect_same_mode(const termios& before, const termios& after) {
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    EXPECT_EQ(before.c_oflag, after.c_oflag);
    EXPECT_EQ(before.c_cflag, after.c_cflag);
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(0, std::memcmp(before.c_cc, after.c_cc, sizeof before.c_cc));
    EXPECT_EQ(cfgetispeed(&before), cfgetispeed(&after));
    EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after));
}

class Tandrel : public ::testing::Test {
protected:
    void TearDown() override { end_session(&session); }

    // The program with no arguments, on a terminal of its own.
    static program_options tandrel(input_source input = input_source::terminal) {
        program_options options;
        options.command = {TANDREL_PROGRAM};
        options.input = input;
        return options;
    }

    void start(const program_options& options) {
        ASSERT_TRUE(start_program(&session, options));
    }

    // Types the key once the wait is in raw mode; returns the exit status.
    int press(const std::string& key) {
        EXPECT_TRUE(wait_for_raw_mode(&session, patience_ms)) << "no key wait; screen:\n" << session.screen;
        type(&session, key);
        return wait_for_exit(&session, patience_ms);
    }

    void expect_terminal_as_before() {
        expect_same_mode(session.mode_at_start, terminal_mode(session));
    }

    program_session session;
};

struct dialogue_case {
    const char* typed;
    const char* shown_peak;  // "nan" for not-a-number
    std::vector<std::string> arguments;
};

TEST_F(Tandrel, WritesTheDialogueByteForByte) {
    const dialogue_case cases[] = {
        {"60\n100\n", "  4.17", {}},
        {"10\n10\n", "  3.03", {}},
        {"1.5\n1\n", " 0.901", {}},
        {"1\n1\n", "     0", {}},
        {"-10\n-10\n", "  3.03", {}},
        {"1e200\n1e200\n", "  42.9", {}},
        {"1.0000000001\n1\n", "1.41e-05", {}},
        {"60 100\n", "  4.17", {}},           // both numbers on one line
        {"\n\n60\n\n\n100\n", "  4.17", {}},  // empty lines are skipped
        {"60\n100\n", "  4.17", {"--help", "-v", "1e200"}},
        {"0.5\n1\n", "nan", {}},
        {"abc\n", "nan", {}},  // both reads fail on the same letters
        {"-10\n10\n", "nan", {}},
    };
    for (const dialogue_case& c : cases) {
        SCOPED_TRACE(c.typed);
        program_options options = tandrel();
        options.output_to_file = true;
        options.command.insert(options.command.end(), c.arguments.begin(), c.arguments.end());
        start(options);
        type(&session, c.typed);
        EXPECT_EQ(press("k"), 'k');
        if (std::string(c.shown_peak) == "nan") {
            expect_not_a_number_dialogue(output_of(session));
        } else {
            EXPECT_EQ(output_of(session), dialogue(c.shown_peak));
        }
        expect_terminal_as_before();
        end_session(&session);
    }
}

TEST_F(Tandrel, EachPromptIsOnScreenBeforeItsReadWaits) {
    start(tandrel());
    ASSERT_TRUE(screen_shows(&session, "\r\n Enter the duration (sec) \r\n", patience_ms)) << session.screen;
    EXPECT_EQ(session.screen.find("natural frequency"), std::string::npos);
    type(&session, "60\r");
    ASSERT_TRUE(screen_shows(&session, "\r\n\r\n Enter the natural frequency (Hz) \r\n", patience_ms))
        << session.screen;
    EXPECT_EQ(session.screen.find("Expected"), std::string::npos);
    type(&session, "100\r");
    ASSERT_TRUE(screen_shows(&session, "\r\n\r\n Expected peak =   4.17 sigma\r\n\r\n Press any key to exit.\r\n",
                             patience_ms))
        << session.screen;
    EXPECT_EQ(press(" "), 32);
    expect_terminal_as_before();
}

// Standard output to a file is fully buffered: each text must still be out
// before the program waits for what comes next.
TEST_F(Tandrel, EachTextIsWrittenOutBeforeTheProgramWaits) {
    program_options options = tandrel();
    options.output_to_file = true;
    start(options);
    const std::string first_prompt = "\n Enter the duration (sec) \n";
    const std::string up_to_first_prompt =
        dialogue_before_result.substr(0, dialogue_before_result.find(first_prompt) + first_prompt.size());
    ASSERT_TRUE(output_shows(&session, up_to_first_prompt, patience_ms))
        << output_of(session);
    type(&session, "60\n");
    ASSERT_TRUE(output_shows(&session, dialogue_before_result, patience_ms)) << output_of(session);
    type(&session, "100\n");
    ASSERT_TRUE(output_shows(&session, dialogue("  4.17"), patience_ms)) << output_of(session);
    EXPECT_EQ(press("a"), 'a');
}

struct key_case {
    const char* name;
    std::string typed;
    int status;
};

TEST_F(Tandrel, KeyEndsTheWaitWithItsCode) {
    const key_case cases[] = {
        {"letter", "q", 'q'},
        {"Enter", "\r", 13},
        {"lone Escape", "\x1b", 27},
        {"Ctrl+C, not an interrupt", "\x03", 3},
        {"Ctrl+\\, not a quit", "\x1c", 28},
        {"Ctrl+Z, not a suspend", "\x1a", 26},
        {"Backspace", "\x7f", 127},
        {"Ctrl+S, not a flow-control stop", "\x13", 19},
        {"Ctrl+Q, not a flow-control start", "\x11", 17},
        {"Ctrl+J pressed during the wait", "\n", 10},
        {"F1", "\x1bOP", 0},
        {"F1, Linux console", "\x1b[[A", 0},
        {"Up", "\x1b[A", 224},
        {"Ctrl+Left", "\x1b[1;5D", 224},
        {"Alt+Up", "\x1b[1;3A", 0},
        {"F12", "\x1b[24~", 224},
        {"Shift+F3", "\x1b[1;2R", 0},
        {"Delete, st", "\x1b[P", 224},
        {"Shift+Delete, rxvt", "\x1b[3$", 224},
        {"Ctrl+a, modifyOtherKeys", "\x1b[27;5;97~", 1},
        {"Alt+x", "\x1bx", 'x'},
        {"e acute, UTF-8", "\xc3\xa9", 233},
        {"euro sign", "\xe2\x82\xac", '?'},
        {"Ctrl+Space", std::string("\0", 1), 0},
        {"focus report, then a letter", "\x1b[Iy", 'y'},
        {"mouse report, then a letter", "\x1b[<0;3;4Mm", 'm'},
        {"runaway sequence, then a letter", "\x1b[" + std::string(200, '1') + "~w", 'w'},
    };
    for (const key_case& c : cases) {
        SCOPED_TRACE(c.name);
        program_options options = tandrel(input_source::null_device);
        start(options);
        EXPECT_EQ(press(c.typed), c.status);
        EXPECT_EQ(bytes_left_in_terminal(session), 0) << "left behind for the shell";
        expect_terminal_as_before();
        end_session(&session);
    }
}

TEST_F(Tandrel, LoneEscapeEndsTheWaitQuickly) {
    program_options options = tandrel(input_source::null_device);
    start(options);
    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
    const auto pressed = std::chrono::steady_clock::now();
    type(&session, "\x1b");
    EXPECT_EQ(wait_for_exit(&session, patience_ms), 27);
    const auto waited = std::chrono::steady_clock::now() - pressed;
    // Generous against a loaded machine; the point is a short wait, not a read that blocks.
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

// A terminal's write can be split on its way: the rest of a key that comes
// soon after its start still belongs to it.
TEST_F(Tandrel, KeyWhoseBytesArriveApartIsOneKey) {
    struct split_case {
        const char* name;
        std::string start;
        std::string rest;
        int status;
    };
    const split_case cases[] = {
        {"Up", "\x1b", "[A", 224},
        {"Shift+F5", "\x1b[15;", "2~", 0},
        {"e acute, UTF-8", "\xc3", "\xa9", 233},
    };
    for (const split_case& c : cases) {
        SCOPED_TRACE(c.name);
        start(tandrel(input_source::null_device));
        ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
        type(&session, c.start);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(press(c.rest), c.status);
        EXPECT_EQ(bytes_left_in_terminal(session), 0);
        end_session(&session);
    }
}

// macOS's poll() answers POLLNVAL at once for a terminal; there a lone Escape
// must still end the wait within the short wait, not with the next key.
TEST_F(Tandrel, LoneEscapeEndsTheWaitWherePollCannotWaitOnATerminal) {
    void* shim = dlopen(POLL_ANSWERS_POLLNVAL, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(shim, nullptr) << dlerror();
    const auto shim_poll = reinterpret_cast<int (*)(pollfd*, nfds_t, int)>(dlsym(shim, "poll"));
    ASSERT_NE(shim_poll, nullptr);
    program_options options = tandrel(input_source::null_device);
    // A sanitized program wants its runtime loaded first; the shim has none.
    options.environment = {std::string("LD_PRELOAD=") + POLL_ANSWERS_POLLNVAL,
                           "ASAN_OPTIONS=verify_asan_link_order=0"};
    start(options);
    pollfd terminal{session.terminal, POLLIN, 0};
    EXPECT_EQ(shim_poll(&terminal, 1, 1000), 1);
    EXPECT_EQ(terminal.revents, POLLNVAL) << "the shim does not answer as macOS does";
    dlclose(shim);

    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
    const auto pressed = std::chrono::steady_clock::now();
    type(&session, "\x1b");
    EXPECT_EQ(wait_for_exit(&session, 1000), 27);
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::milliseconds(1000));
}

TEST_F(Tandrel, KeysAfterTheFirstStayInTheTerminal) {
    const key_case cases[] = {
        {"two letters", "xy", 'x'},
        {"arrow, then a letter", "\x1b[Bz", 224},
        {"two arrows", "\x1b[A\x1b[B", 224},
    };
    for (const key_case& c : cases) {
        SCOPED_TRACE(c.name);
        program_options options = tandrel(input_source::null_device);
        start(options);
        EXPECT_EQ(press(c.typed), c.status);
        const int first_key_length = c.typed[0] == '\x1b' ? 3 : 1;
        EXPECT_EQ(bytes_left_in_terminal(session), static_cast<int>(c.typed.size()) - first_key_length);
        end_session(&session);
    }
}

TEST_F(Tandrel, KeyTypedAheadOfTheWaitIsKept) {
    start(tandrel());
    type(&session, "60\n100\nz");
    EXPECT_EQ(wait_for_exit(&session, patience_ms), 'z');
    expect_terminal_as_before();
}

// Under the line mode the terminal turns Enter into LF on its way in; an
// Enter typed ahead of the wait still gives the 13 of an Enter pressed in it.
TEST_F(Tandrel, EnterTypedAheadOfTheWaitGives13) {
    struct typed_ahead_case {
        const char* name;
        bool enter_made_lf;  // the line mode's ICRNL
        const char* typed;
        int status;
    };
    const typed_ahead_case cases[] = {
        {"Enter", true, "60\r100\r\r", 13},
        {"pasted with the numbers", true, "60\n100\n\n", 13},
        {"Ctrl+J where Enter stays CR", false, "60\n100\n\n", 10},
    };
    for (const typed_ahead_case& c : cases) {
        SCOPED_TRACE(c.name);
        termios mode = default_terminal_mode();
        if (!c.enter_made_lf) mode.c_iflag &= ~ICRNL;
        program_options options = tandrel();
        options.initial_mode = &mode;
        start(options);
        type(&session, c.typed);
        EXPECT_EQ(wait_for_exit(&session, patience_ms), c.status) << session.screen;
        expect_terminal_as_before();
        end_session(&session);
    }
}

TEST_F(Tandrel, PutsBackATerminalModeThatWasNotTheDefault) {
    termios quiet = default_terminal_mode();
    termios already_raw = quiet;
    cfmakeraw(&already_raw);
    quiet.c_lflag &= ~(ECHO | ECHOE | ECHOK);
    quiet.c_iflag |= IXANY | IMAXBEL;
    quiet.c_iflag &= ~ICRNL;
    quiet.c_cc[VMIN] = 7;
    quiet.c_cc[VTIME] = 3;
    quiet.c_cc[VINTR] = 'X' & 0x1f;
    cfsetspeed(&quiet, B9600);

    for (const termios* initial : {&quiet, &already_raw}) {
        program_options options = tandrel(input_source::null_device);
        options.initial_mode = initial;
        start(options);
        ASSERT_TRUE(screen_shows(&session, "Press any key to exit.", patience_ms)) << session.screen;
        EXPECT_EQ(press("j"), 'j');
        expect_terminal_as_before();
        end_session(&session);
    }
}

TEST_F(Tandrel, EmptyStandardInputStillWaitsForAKeyOnTheTerminal) {
    program_options options = tandrel(input_source::null_device);
    options.output_to_file = true;
    start(options);
    EXPECT_EQ(press("q"), 'q');
    expect_not_a_number_dialogue(output_of(session));
}

TEST_F(Tandrel, WithoutAControllingTerminalEndsAtOnceWith255) {
    for (const input_source input : {input_source::text, input_source::null_device}) {
        program_options options = tandrel(input);
        options.controlling_terminal = false;
        options.input_text = "60 100\n";
        options.output_to_file = true;
        ASSERT_TRUE(start_program(&session, options));
        EXPECT_EQ(wait_for_exit(&session, patience_ms), 255);
        if (input == input_source::text) {
            EXPECT_EQ(output_of(session), dialogue("  4.17"));
        } else {
            expect_not_a_number_dialogue(output_of(session));
        }
        end_session(&session);
    }
}

// In raw mode Ctrl+C is only a key, but a signal sent from outside still ends
// the program: the terminal must not be left without echo.
TEST_F(Tandrel, SignalDuringTheWaitPutsTheTerminalBackAndEndsByThatSignal) {
    for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        SCOPED_TRACE(strsignal(signal_number));
        program_options options = tandrel(input_source::null_device);
        start(options);
        ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
        kill(session.pid, signal_number);
        EXPECT_EQ(wait_for_exit(&session, patience_ms), 128 + signal_number);
        expect_terminal_as_before();
        end_session(&session);
    }
}

bool mode_stays_as_at_start(program_session* session, int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (terminal_mode(*session).c_lflag != session->mode_at_start.c_lflag) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool mode_returns_to_start(program_session* session, int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (terminal_mode(*session).c_lflag != session->mode_at_start.c_lflag) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Stopped by job control, the program leaves the shell a usable terminal;
// continued, it waits raw again, and the key is neither echoed nor held for
// Enter.
TEST_F(Tandrel, StopDuringTheWaitPutsTheTerminalBackAndContinueMakesItRawAgain) {
    program_options options = tandrel(input_source::null_device);
    options.as_job = true;
    start(options);
    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms)) << session.screen;
    // All the dialogue read, so that what the screen shows later is an echo.
    ASSERT_TRUE(screen_shows(&session, "Press any key to exit.\r\n", patience_ms)) << session.screen;
    const pid_t job = foreground_job(session);
    ASSERT_GT(job, 0);
    kill(job, SIGTSTP);
    ASSERT_TRUE(mode_returns_to_start(&session, patience_ms));
    EXPECT_TRUE(mode_stays_as_at_start(&session, 200)) << "not stopped";
    EXPECT_FALSE(has_ended(session));
    kill(job, SIGCONT);
    const std::size_t shown_before_key = session.screen.size();
    EXPECT_EQ(press("k"), 'k');
    EXPECT_EQ(session.screen.find('k', shown_before_key), std::string::npos) << "echoed";
    expect_terminal_as_before();
}

TEST_F(Tandrel, StopIgnoredAtStartStaysIgnored) {
    program_options options = tandrel(input_source::null_device);
    options.as_job = true;
    options.ignored_signals = {SIGTSTP};
    start(options);
    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
    kill(foreground_job(session), SIGTSTP);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(press("k"), 'k');
    expect_terminal_as_before();
}

TEST_F(Tandrel, HangupIgnoredAtStartStaysIgnored) {
    program_options options = tandrel(input_source::null_device);
    options.ignored_signals = {SIGHUP};
    start(options);
    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
    kill(session.pid, SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(press("k"), 'k');
    expect_terminal_as_before();
}

// The terminal going away ends the wait at once: by SIGHUP, or, where that
// is ignored, by the read that fails.
TEST_F(Tandrel, TerminalHangupEndsTheWait) {
    for (const bool hangup_ignored : {false, true}) {
        SCOPED_TRACE(hangup_ignored ? "SIGHUP ignored" : "SIGHUP by default");
        program_options options = tandrel(input_source::null_device);
        if (hangup_ignored) options.ignored_signals = {SIGHUP};
        start(options);
        ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
        close(session.master);
        session.master = -1;
        const auto hung_up = std::chrono::steady_clock::now();
        EXPECT_EQ(wait_for_exit(&session, patience_ms), hangup_ignored ? 255 : 128 + SIGHUP);
        EXPECT_LT(std::chrono::steady_clock::now() - hung_up, std::chrono::milliseconds(1000));
        end_session(&session);
    }
}

}  // namespace
