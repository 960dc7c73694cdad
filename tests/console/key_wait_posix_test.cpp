// The key wait itself, called in a child process whose controlling terminal
// is a pseudo-terminal of the test's.
#include "console/key_wait.h"

#include <chrono>
#include <csignal>
#include <cstring>

#include <gtest/gtest.h>

#include "pty_session.h"

namespace {

constexpr int patience_ms = 5000;

class KeyWait : public ::testing::Test {
protected:
    void TearDown() override { end_session(&session); }

    void start(int (*function)(), bool controlling_terminal = true) {
        program_options options;
        options.function = function;
        options.controlling_terminal = controlling_terminal;
        options.input = input_source::null_device;
        ASSERT_TRUE(start_program(&session, options));
    }

    program_session session;
};

int wait_twice_without_a_terminal() {
    return wait_for_key() == -1 && wait_for_key() == -1 ? 0 : 1;
}

TEST_F(KeyWait, WithoutATerminalReturnsAtOnceEveryTime) {
    start(wait_twice_without_a_terminal, false);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_for_exit(&session, patience_ms), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
}

int wait_twice() {
    const int first = wait_for_key();
    const int second = wait_for_key();
    return first == 'a' && second == 0 ? 0 : 1;
}

// The terminal is opened once and stays usable; each wait takes one key of
// what was typed.
TEST_F(KeyWait, SecondWaitReadsTheNextKey) {
    start(wait_twice);
    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
    type(&session, "a\x1b[11~");
    EXPECT_EQ(wait_for_exit(&session, patience_ms), 0);
    EXPECT_EQ(terminal_mode(session).c_lflag, session.mode_at_start.c_lflag);
}

void program_handler(int) {}

// What the program had set up for the signals is there again after the wait.
int wait_between_own_dispositions() {
    struct sigaction own {};
    own.sa_handler = program_handler;
    sigemptyset(&own.sa_mask);
    sigaction(SIGTERM, &own, nullptr);
    signal(SIGHUP, SIG_IGN);
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    signal(SIGTSTP, SIG_IGN);
    sigaction(SIGCONT, &own, nullptr);
    const int key = wait_for_key();
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    if (now.sa_handler != program_handler) return 2;
    sigaction(SIGHUP, nullptr, &now);
    if (now.sa_handler != SIG_IGN) return 3;
    sigaction(SIGINT, nullptr, &now);
    if (now.sa_handler != SIG_DFL) return 4;
    sigaction(SIGQUIT, nullptr, &now);
    if (now.sa_handler != SIG_DFL) return 5;
    sigaction(SIGTSTP, nullptr, &now);
    if (now.sa_handler != SIG_IGN) return 6;
    sigaction(SIGCONT, nullptr, &now);
    if (now.sa_handler != program_handler) return 7;
    return key == 'a' ? 0 : 1;
}

TEST_F(KeyWait, SignalDispositionsAreBackAfterTheWait) {
    start(wait_between_own_dispositions);
    ASSERT_TRUE(wait_for_raw_mode(&session, patience_ms));
    type(&session, "a");
    EXPECT_EQ(wait_for_exit(&session, patience_ms), 0);
}

}  // namespace
