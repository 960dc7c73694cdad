// The key wait on a POSIX terminal: the controlling terminal, read raw.
#include "key_wait.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/select.h>
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
termios raw_mode;

// Bytes that were waiting when the wait began, typed under the line mode.
int typed_ahead_count;

void restore_terminal_and_die(int signal_number);
void stop_with_terminal_restored(int signal_number);
void continue_raw(int signal_number);

// Signals that would leave the terminal raw while the wait cannot run, and
// what the wait does on each.
struct signal_handling {
    int signal_number;
    void (*handler)(int);
    bool once;  // the handler ends the process
};

const signal_handling handled_signals[] = {
    {SIGTERM, restore_terminal_and_die, true},
    {SIGHUP, restore_terminal_and_die, true},
    {SIGINT, restore_terminal_and_die, true},
    {SIGQUIT, restore_terminal_and_die, true},
    {SIGTSTP, stop_with_terminal_restored, false},
    {SIGCONT, continue_raw, false},
};
constexpr std::size_t handled_signal_count = sizeof handled_signals / sizeof handled_signals[0];
struct sigaction previous_actions[handled_signal_count];
bool handler_installed[handled_signal_count];

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

// While one handler runs, the others wait.
sigset_t handled_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const signal_handling& handling : handled_signals) sigaddset(&set, handling.signal_number);
    return set;
}

struct sigaction wait_action(const signal_handling& handling) {
    struct sigaction action {};
    action.sa_handler = handling.handler;
    action.sa_flags = handling.once ? SA_RESETHAND : 0;
    action.sa_mask = handled_signal_set();
    return action;
}

// The handlers below make async-signal-safe calls only.

// Puts the user's terminal back, then lets the signal end the process as it
// would have: SA_RESETHAND has restored the default action.
void restore_terminal_and_die(int signal_number) {
    tcsetattr(console_in_slot, TCSANOW, &saved_mode);
    raise(signal_number);
}

// Stops as the default action would, with the user's terminal put back for
// the shell; when continued, the wait goes on raw.
void stop_with_terminal_restored(int signal_number) {
    const int saved_errno = errno;
    tcsetattr(console_in_slot, TCSANOW, &saved_mode);
    signal(signal_number, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signal_number);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(signal_number);
    // Continued, or never stopped: a process group without a job-control
    // shell above it discards the stop.
    const struct sigaction again = wait_action({signal_number, stop_with_terminal_restored, false});
    sigaction(signal_number, &again, nullptr);
    tcsetattr(console_in_slot, TCSANOW, &raw_mode);
    errno = saved_errno;
}

// Also after a stop the wait could not see (SIGSTOP, SIGTTIN), during which
// the shell may have set its own mode.
void continue_raw(int) {
    const int saved_errno = errno;
    tcsetattr(console_in_slot, TCSANOW, &raw_mode);
    errno = saved_errno;
}

// A signal that was ignored when the wait began (as nohup ignores SIGHUP)
// stays ignored.
void install_signal_handlers() {
    for (std::size_t i = 0; i < handled_signal_count; ++i) {
        const struct sigaction handler = wait_action(handled_signals[i]);
        sigaction(handled_signals[i].signal_number, nullptr, &previous_actions[i]);
        handler_installed[i] = previous_actions[i].sa_handler != SIG_IGN &&
                               sigaction(handled_signals[i].signal_number, &handler, nullptr) == 0;
    }
}

void restore_signal_handlers() {
    for (std::size_t i = 0; i < handled_signal_count; ++i)
        if (handler_installed[i]) sigaction(handled_signals[i].signal_number, &previous_actions[i], nullptr);
}

// Handlers and mode change together: a signal that comes meanwhile waits
// until both are in place, or both are gone.
void block_handled_signals(sigset_t* previous_mask) {
    const sigset_t handled = handled_signal_set();
    sigprocmask(SIG_BLOCK, &handled, previous_mask);
}

int bytes_waiting() {
    int count = 0;
#ifdef FIONREAD
    if (ioctl(console_in_slot, FIONREAD, &count) != 0) count = 0;
#endif
    return count;
}

bool enter_raw_mode() {
    if (tcgetattr(console_in_slot, &saved_mode) != 0) return false;
    raw_mode = saved_mode;
    raw_mode.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    raw_mode.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT);
    raw_mode.c_cc[VMIN] = 1;
    raw_mode.c_cc[VTIME] = 0;
    sigset_t previous_mask;
    block_handled_signals(&previous_mask);
    install_signal_handlers();
    // TCSANOW keeps keys typed before the wait; they are the user's answer.
    const bool raw = tcsetattr(console_in_slot, TCSANOW, &raw_mode) == 0;
    if (raw) {
        typed_ahead_count = bytes_waiting();
    } else {
        restore_signal_handlers();
    }
    sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
    return raw;
}

void leave_raw_mode() {
    sigset_t previous_mask;
    block_handled_signals(&previous_mask);
    restore_signal_handlers();
    tcsetattr(console_in_slot, TCSANOW, &saved_mode);
    sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
}

// Whether the line mode turned Enter's CR into LF on its way in.
bool line_mode_made_enter_lf() {
    return (saved_mode.c_iflag & ICRNL) && !(saved_mode.c_iflag & (INLCR | IGNCR));
}

// False at end of file (the terminal hung up) or on a failed read. An Enter
// typed ahead under the line mode reads as the 13 it gives during the wait.
bool read_byte(unsigned char* byte) {
    for (;;) {
        const ssize_t count = read(console_in_slot, byte, 1);
        if (count == 1) break;
        if (count < 0 && errno == EINTR) continue;
        return false;
    }
    if (typed_ahead_count > 0) {
        --typed_ahead_count;
        if (*byte == '\n' && line_mode_made_enter_lf()) *byte = '\r';
    }
    return true;
}

// select(), not poll(): macOS's poll() does not work on terminals. A failed
// select counts as input so that the read that follows reports it.
bool byte_arrives_within(int milliseconds) {
    for (;;) {
        fd_set terminal;
        FD_ZERO(&terminal);
        FD_SET(console_in_slot, &terminal);
        timeval timeout{0, milliseconds * 1000};
        const int ready = select(console_in_slot + 1, &terminal, nullptr, nullptr, &timeout);
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
