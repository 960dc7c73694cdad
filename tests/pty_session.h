// Runs the real program on a pseudo-terminal of its own, as a user would.
#ifndef TANDREL_TESTS_PTY_SESSION_H
#define TANDREL_TESTS_PTY_SESSION_H

#include <string>
#include <vector>

#include <sys/types.h>
#include <termios.h>

enum class input_source { terminal, null_device, text };

struct program_options {
    std::vector<std::string> command;  // the program (found on PATH) and its arguments
    std::vector<std::string> environment;  // NAME=value settings added for the program
    int (*function)() = nullptr;       // run in the child instead, its result the exit status
    bool controlling_terminal = true;
    input_source input = input_source::terminal;
    std::string input_text;  // for input_source::text
    bool output_to_file = false;
    std::vector<int> ignored_signals;  // as nohup ignores SIGHUP
    // Runs the program as a job-control shell runs a command: in a process
    // group of its own in the terminal's foreground, below the session leader.
    bool as_job = false;
    const termios* initial_mode = nullptr;
};

struct program_session {
    pid_t pid = -1;
    int master = -1;
    int terminal = -1;  // the program's side, kept open to read its mode and queue
    std::string input_file;
    std::string output_file;
    std::string screen;  // everything the terminal has shown so far
    termios mode_at_start{};  // read before the program could change it
};

// Starts the program; false (with a message on stderr) if that failed.
bool start_program(program_session* session, const program_options& options);

// Reads the screen until it shows text; false after timeout_ms.
bool screen_shows(program_session* session, const std::string& text, int timeout_ms);

// Reads the output file until it holds text; false after timeout_ms.
bool output_shows(program_session* session, const std::string& text, int timeout_ms);

// Waits until the terminal is in raw mode (no canonical input, echo or signal keys).
bool wait_for_raw_mode(program_session* session, int timeout_ms);

void type(program_session* session, const std::string& bytes);

// Exit status, 128 + n for death by signal n, or -1 if the program was still
// running after timeout_ms (it is then killed).
int wait_for_exit(program_session* session, int timeout_ms);

// The terminal's foreground process group: the program run as a job.
pid_t foreground_job(const program_session& session);

// Whether the program has ended, without waiting or reaping it.
bool has_ended(const program_session& session);

// Bytes still waiting in the terminal's input queue.
int bytes_left_in_terminal(const program_session& session);

termios terminal_mode(const program_session& session);

// The mode a new pseudo-terminal starts in.
termios default_terminal_mode();

std::string output_of(const program_session& session);

// Kills the program if it still runs, closes the terminal, removes files,
// and leaves the session ready for the next run.
void end_session(program_session* session);

#endif
