#include "pty_session.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using clock_type = std::chrono::steady_clock;

// The POSIX calls, so that the tests run where openpty() is not in libc.
bool open_pseudo_terminal(int* master, int* terminal, const termios* mode) {
    *master = posix_openpt(O_RDWR | O_NOCTTY);
    if (*master < 0) return false;
    const char* name = nullptr;
    if (grantpt(*master) == 0 && unlockpt(*master) == 0 && (name = ptsname(*master)) != nullptr) {
        *terminal = open(name, O_RDWR | O_NOCTTY);
        if (*terminal >= 0 && (!mode || tcsetattr(*terminal, TCSANOW, mode) == 0)) return true;
        if (*terminal >= 0) close(*terminal);
    }
    close(*master);
    *master = *terminal = -1;
    return false;
}

// Whether select() says the descriptor can be read within timeout_ms.
bool readable_within(int descriptor, int timeout_ms) {
    if (descriptor < 0) {  // closed by the test: nothing to read, but wait as asked
        std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(descriptor, &readable);
    timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(descriptor + 1, &readable, nullptr, nullptr, &timeout) > 0;
}

std::string temporary_file(const std::string& contents) {
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory && *directory ? directory : "/tmp") + "/tandrel-XXXXXX";
    const int descriptor = mkstemp(&path[0]);
    if (descriptor < 0) return "";
    const ssize_t written = write(descriptor, contents.data(), contents.size());
    close(descriptor);
    return written == static_cast<ssize_t>(contents.size()) ? path : "";
}

// The session leader waits for the job and ends as it ended; the job takes
// the terminal's foreground, as a shell would give it.
void become_job_of_session_leader() {
    const pid_t job = fork();
    if (job == 0) {
        void (*previous)(int) = signal(SIGTTOU, SIG_IGN);
        setpgid(0, 0);
        tcsetpgrp(STDERR_FILENO, getpid());
        signal(SIGTTOU, previous);
        return;
    }
    int status = 0;
    while (waitpid(job, &status, 0) < 0) {
        if (errno != EINTR) _exit(127);
    }
    if (WIFSIGNALED(status)) {
        signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    _exit(WEXITSTATUS(status));
}

// Between fork and exec: only async-signal-safe calls, but for a function the
// test asked to run in the child.
[[noreturn]] void become_program(const program_options& options, int master, int terminal,
                                 const char* input_path, const char* output_path, char** argv,
                                 char** environment) {
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
    for (int signal_number : options.ignored_signals) signal(signal_number, SIG_IGN);
    for (int descriptor : {master, terminal, null_device, input, output})
        if (descriptor > STDERR_FILENO) close(descriptor);
    if (options.as_job) become_job_of_session_leader();
    if (options.function) std::exit(options.function());
    environ = environment;
    execvp(argv[0], argv);
    _exit(127);
}

void drain_screen(program_session* session, int timeout_ms) {
    if (!readable_within(session->master, timeout_ms)) return;
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
    if (!open_pseudo_terminal(&session->master, &session->terminal, options.initial_mode)) {
        std::perror("pseudo-terminal");
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
    std::vector<std::string> settings = options.environment;
    std::vector<char*> environment;
    for (char** setting = environ; *setting; ++setting) environment.push_back(*setting);
    for (std::string& setting : settings) environment.push_back(&setting[0]);
    environment.push_back(nullptr);

    std::fflush(nullptr);  // or the child would write the parent's buffered output again
    session->pid = fork();
    if (session->pid < 0) {
        std::perror("fork");
        return false;
    }
    if (session->pid == 0)
        become_program(options, session->master, session->terminal, session->input_file.c_str(),
                       session->output_file.c_str(), argv.data(), environment.data());
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

pid_t foreground_job(const program_session& session) {
    return tcgetpgrp(session.master);
}

bool has_ended(const program_session& session) {
    siginfo_t state{};
    return waitid(P_PID, static_cast<id_t>(session.pid), &state, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           state.si_pid == session.pid;
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
    if (open_pseudo_terminal(&master, &terminal, nullptr)) {
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
