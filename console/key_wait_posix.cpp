// The key wait on a POSIX terminal: the controlling terminal, read raw.
#include "key_wait.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "extended_keys.h"
#include "terminal_decoder.h"

namespace {

constexpr int not_yet_opened = -2;
constexpr int unavailable = -1;

// The controlling terminal's descriptor once open; opened at most once.
int console_in_slot = not_yet_opened;
termios saved_mode;

// Signals from outside that would end the process while the terminal is raw.
constexpr int ending_signals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
constexpr std::size_t ending_signal_count = sizeof ending_signals / sizeof ending_signals[0];
struct sigaction previous_actions[ending_signal_count];
bool handler_installed[ending_signal_count];

// How long the rest of a sequence may take after its Escape: long enough for
// a terminal's write to arrive, short enough that a lone Escape feels instant.
constexpr int escape_wait_ms = 50;

void close_console_in() {
    close(console_in_slot);
}

void open_console_in() {
    console_in_slot = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (console_in_slot == unavailable) return;
    std::atexit(close_console_in);
}

// Puts the user's terminal back, then lets the signal end the process as it
// would have: SA_RESETHAND has restored the default action. Async-signal-safe
// calls only.
void restore_terminal_and_die(int signal_number) {
    tcsetattr(console_in_slot, TCSANOW, &saved_mode);
    raise(signal_number);
}

// A signal that was ignored when the wait began (as nohup ignores SIGHUP)
// stays ignored.
void install_signal_handlers() {
    struct sigaction handler {};
    handler.sa_handler = restore_terminal_and_die;
    handler.sa_flags = SA_RESETHAND;
    sigemptyset(&handler.sa_mask);
    for (int signal_number : ending_signals) sigaddset(&handler.sa_mask, signal_number);
    for (std::size_t i = 0; i < ending_signal_count; ++i) {
        sigaction(ending_signals[i], nullptr, &previous_actions[i]);
        handler_installed[i] = previous_actions[i].sa_handler != SIG_IGN &&
                               sigaction(ending_signals[i], &handler, nullptr) == 0;
    }
}

void restore_signal_handlers() {
    for (std::size_t i = 0; i < ending_signal_count; ++i)
        if (handler_installed[i]) sigaction(ending_signals[i], &previous_actions[i], nullptr);
}

bool enter_raw_mode() {
    if (tcgetattr(console_in_slot, &saved_mode) != 0) return false;
    install_signal_handlers();
    termios raw = saved_mode;
    raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // TCSANOW keeps keys typed before the wait; they are the user's answer.
    if (tcsetattr(console_in_slot, TCSANOW, &raw) == 0) return true;
    restore_signal_handlers();
    return false;
}

void leave_raw_mode() {
    tcsetattr(console_in_slot, TCSANOW, &saved_mode);
    restore_signal_handlers();
}

// False at end of file (the terminal hung up) or on a failed read.
bool read_byte(unsigned char* byte) {
    for (;;) {
        const ssize_t count = read(console_in_slot, byte, 1);
        if (count == 1) return true;
        if (count < 0 && errno == EINTR) continue;
        return false;
    }
}

// A failed poll counts as input so that the read that follows reports it.
bool byte_arrives_within(int milliseconds) {
    pollfd terminal{console_in_slot, POLLIN, 0};
    for (;;) {
        const int ready = poll(&terminal, 1, milliseconds);
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return true;
    }
}

// Reads byte by byte so that exactly one key is taken from the terminal and
// whatever follows it stays there.
int read_key() {
    unsigned char buffer[longest_sequence];
    std::size_t length = 0;
    bool input_idle = false;
    for (;;) {
        if (length > 0) {
            const decoded_key decoded = decode_terminal_key(buffer, length, input_idle);
            if (decoded.outcome != decode_outcome::need_more) {
                length -= decoded.consumed;
                std::memmove(buffer, buffer + decoded.consumed, length);
                const int code = decoded.outcome == decode_outcome::key
                                     ? key_event_code(decoded.event)
                                     : no_key_code;
                if (code != no_key_code) return code;
                continue;
            }
            if (!byte_arrives_within(escape_wait_ms)) {
                input_idle = true;
                continue;
            }
        }
        // A runaway sequence keeps its start; each new byte takes the last
        // place until the final byte comes and the whole is skipped.
        if (length == sizeof buffer) --length;
        if (!read_byte(&buffer[length])) return -1;
        ++length;
        input_idle = false;
    }
}

}  // namespace

int wait_for_key() {
    if (console_in_slot == not_yet_opened) open_console_in();
    if (console_in_slot == unavailable) return -1;
    if (!enter_raw_mode()) return -1;
    const int result = read_key();
    leave_raw_mode();
    return result;
}
