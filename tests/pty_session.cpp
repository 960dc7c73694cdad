#include "pty_session.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

std::string temporary_file(const std::string& contents) {
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory && *directory ? directory : "/tmp") + "/tandrel-XXXXXX";
    const int descriptor = mkstemp(&path[0]);
    if (descriptor < 0) return "";
    const ssize_t written = write(descriptor, contents.data(), contents.size());
    close(descriptor);
    return written == static_cast<ssize_t>(contents.size()) ? path : "";
}

// Between fork and exec: only async-signal-safe calls, but for a function the
// test asked to run in the child.
[[noreturn]] void become_program(const program_options& options, int master, int terminal,
                                 const char* input_path, const char* output_path, char** argv) {
    setsid();
    if (options.controlling_terminal) ioctl(terminal, TIOCSCTTY, 0);
    const int null_device = open("/dev/null", O_RDWR);
    int input = options.controlling_terminal ? terminal : null_device;
    if (options.input == input_source::null_device) input = null_device;
    if (options.input == input_source::text) input = open(input_path, O_RDONLY);
    const int output = options.output_to_file ? open(output_path, O_WRONLY | O_TRUNC) : terminal;
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(options.controlling_terminal ? terminal : null_device, STDERR_FILENO);
    if (options.hangup_ignored) signal(SIGHUP, SIG_IGN);
    for (int descriptor : {master, terminal, null_device, input, output})
        if (descriptor > STDERR_FILENO) close(descriptor);
    if (options.function) std::exit(options.function());
    execvp(argv[0], argv);
    _exit(127);
}

void drain_screen(program_session* session, int timeout_ms) {
    pollfd screen{session->master, POLLIN, 0};
    if (poll(&screen, 1, timeout_ms) <= 0 || !(screen.revents & POLLIN)) return;
    char bytes[4096];
    const ssize_t count = read(session->master, bytes, sizeof bytes);
    if (count > 0) session->screen.append(bytes, static_cast<std::size_t>(count));
}

int elapsed_ms(clock_type::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - since).count());
}

}  // namespace

bool start_program(program_session* session, const program_options& options) {
    if (openpty(&session->master, &session->terminal, nullptr, options.initial_mode, nullptr) != 0) {
        std::perror("openpty");
        return false;
    }
    session->mode_at_start = terminal_mode(*session);
    if (options.input == input_source::text) session->input_file = temporary_file(options.input_text);
    if (options.output_to_file) session->output_file = temporary_file("");
    if ((options.input == input_source::text && session->input_file.empty()) ||
        (options.output_to_file && session->output_file.empty())) {
        std::perror("temporary file");
        return false;
    }

    std::vector<std::string> words = options.command;
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);

    std::fflush(nullptr);  // or the child would write the parent's buffered output again
    session->pid = fork();
    if (session->pid < 0) {
        std::perror("fork");
        return false;
    }
    if (session->pid == 0)
        become_program(options, session->master, session->terminal, session->input_file.c_str(),
                       session->output_file.c_str(), argv.data());
    return true;
}

bool screen_shows(program_session* session, const std::string& text, int timeout_ms) {
    const auto start = clock_type::now();
    while (session->screen.find(text) == std::string::npos) {
        const int left = timeout_ms - elapsed_ms(start);
        if (left <= 0) return false;
        drain_screen(session, left);
    }
    return true;
}

bool output_shows(program_session* session, const std::string& text, int timeout_ms) {
    const auto start = clock_type::now();
    while (output_of(*session).find(text) == std::string::npos) {
        if (elapsed_ms(start) > timeout_ms) return false;
        drain_screen(session, 2);
    }
    return true;
}

bool wait_for_raw_mode(program_session* session, int timeout_ms) {
    const auto start = clock_type::now();
    for (;;) {
        const termios mode = terminal_mode(*session);
        if (!(mode.c_lflag & (ICANON | ECHO | ISIG))) return true;
        if (elapsed_ms(start) > timeout_ms) return false;
        drain_screen(session, 1);
    }
}

void type(program_session* session, const std::string& bytes) {
    const ssize_t written = write(session->master, bytes.data(), bytes.size());
    if (written != static_cast<ssize_t>(bytes.size())) std::perror("typing");
}

int wait_for_exit(program_session* session, int timeout_ms) {
    const auto start = clock_type::now();
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(session->pid, &status, WNOHANG);
        if (ended == session->pid) {
            session->pid = -1;
            drain_screen(session, 0);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return WEXITSTATUS(status);
        }
        if (elapsed_ms(start) > timeout_ms) {
            kill(session->pid, SIGKILL);
            waitpid(session->pid, &status, 0);
            session->pid = -1;
            return -1;
        }
        drain_screen(session, 1);
    }
}

int bytes_left_in_terminal(const program_session& session) {
    int count = -1;
    ioctl(session.terminal, FIONREAD, &count);
    return count;
}

termios terminal_mode(const program_session& session) {
    termios mode{};
    tcgetattr(session.terminal, &mode);
    return mode;
}

termios default_terminal_mode() {
    termios mode{};
    int master = -1;
    int terminal = -1;
    if (openpty(&master, &terminal, nullptr, nullptr, nullptr) == 0) {
        tcgetattr(terminal, &mode);
        close(master);
        close(terminal);
    }
    return mode;
}

std::string output_of(const program_session& session) {
    std::ifstream file(session.output_file, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

void end_session(program_session* session) {
    if (session->pid > 0) {
        kill(session->pid, SIGKILL);
        waitpid(session->pid, nullptr, 0);
        session->pid = -1;
    }
    for (int* descriptor : {&session->master, &session->terminal}) {
        if (*descriptor >= 0) close(*descriptor);
        *descriptor = -1;
    }
    for (const std::string& path : {session->input_file, session->output_file})
        if (!path.empty()) unlink(path.c_str());
    *session = program_session{};
}
