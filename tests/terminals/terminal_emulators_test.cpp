// The real program inside real terminal emulators on a virtual X display,
// keys pressed as X key events: the codes that each terminal's own bytes give.
// Each emulator starts once; the program runs in it again for every key.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int no_code = -2;  // the key does not end the wait
constexpr int kept = -3;     // the terminal keeps the key for itself: not pressed

bool on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream directories(path ? path : "");
    std::string directory;
    while (std::getline(directories, directory, ':'))
        if (access((directory + "/" + name).c_str(), X_OK) == 0) return true;
    return false;
}

int elapsed_ms(clock_type::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - since).count());
}

void pause_ms(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::vector<char*> argv_of(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    return argv;
}

// In a process group of its own, so that it can be stopped with all it started.
pid_t start_in_background(std::vector<std::string> words) {
    std::vector<char*> argv = argv_of(words);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const int null_device = open("/dev/null", O_RDWR);
        dup2(null_device, STDIN_FILENO);
        dup2(null_device, STDOUT_FILENO);
        dup2(null_device, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop_background(pid_t pid) {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    const auto start = clock_type::now();
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (elapsed_ms(start) > 2000) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        pause_ms(10);
    }
}

// Runs a command to its end and keeps its standard output; false when it
// failed or overran timeout_ms.
bool run(std::vector<std::string> words, int timeout_ms, std::string* output = nullptr) {
    int out[2];
    if (pipe(out) != 0) return false;
    std::vector<char*> argv = argv_of(words);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null_device = open("/dev/null", O_RDWR);
        dup2(null_device, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(null_device, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    const auto start = clock_type::now();
    std::string text;
    for (;;) {
        const int left = timeout_ms - elapsed_ms(start);
        if (left <= 0) break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(out[0], &readable);
        timeval timeout{left / 1000, (left % 1000) * 1000};
        if (select(out[0] + 1, &readable, nullptr, nullptr, &timeout) <= 0) break;
        char bytes[512];
        const ssize_t count = read(out[0], bytes, sizeof bytes);
        if (count <= 0) break;
        text.append(bytes, static_cast<std::size_t>(count));
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (elapsed_ms(start) > timeout_ms) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return false;
        }
        pause_ms(1);
    }
    if (output) *output = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool read_file(const std::string& path, std::string* contents) {
    std::ifstream file(path);
    if (!file) return false;
    std::ostringstream text;
    text << file.rdbuf();
    *contents = text.str();
    return true;
}

// How one emulator is started with a command inside it.
struct terminal_emulator {
    const char* name;
    std::vector<std::string> needed;  // programs that must be installed
    std::vector<std::string> command_before_title;
    std::vector<std::string> command_after_title;  // then the command to run inside
};

struct key_case {
    const char* keys;  // xdotool key names; all but the last must not end the wait
    int xterm;
    int rxvt_unicode;
    int st;
    int tmux_in_xterm;
};

// What each terminal gives, key by key, as its bytes decode. Where two keys
// send the same bytes the code is that of the other key (marked).
const key_case key_cases[] = {
    {"a", 'a', 'a', 'a', 'a'},
    {"Return", 13, 13, 13, 13},
    {"Escape", 27, 27, 27, 27},
    {"Tab", 9, 9, 9, 9},
    {"BackSpace", 127, 127, 127, 127},
    {"ctrl+c", 3, 3, 3, 3},
    {"ctrl+s", 19, 19, 19, 19},
    {"ctrl+a", 1, 1, 1, 1},
    {"ctrl+space", 0, 0, 0, 0},
    {"alt+x", 248, 'x', 'x', 248},  // xterm sends Alt as the 8th bit: U+00F8
    {"eacute", 233, 233, 233, 233},
    {"Shift_L a", 'a', 'a', 'a', 'a'},
    {"Control_L a", 'a', 'a', 'a', 'a'},
    {"Up", 224, 224, 224, 224},
    {"Down", 224, 224, 224, 224},
    {"Left", 224, 224, 224, 224},
    {"Right", 224, 224, 224, 224},
    {"shift+Up", 224, 224, 224, 224},
    {"ctrl+Left", 224, 224, 224, 224},
    {"alt+Up", 0, 0, 0, 0},
    {"Home", 224, 224, 224, 224},
    {"shift+Home", 224, 224, 224, 224},
    {"ctrl+Home", 224, 224, 224, 224},
    {"alt+Home", 0, 0, 224, 0},  // st sends Home without its modifier
    {"End", 224, 224, 224, 224},
    {"shift+End", 224, 224, 224, 224},
    {"ctrl+End", 224, 224, 224, 224},
    {"Insert", 224, 224, 224, 224},
    {"shift+Insert", kept, kept, kept, kept},  // paste
    {"ctrl+Insert", 224, 224, 224, 224},
    {"Delete", 224, 224, 224, 224},
    {"shift+Delete", 224, 224, 224, 224},
    {"ctrl+Delete", 224, 224, 224, 224},
    {"alt+Delete", 0, 0, 224, 0},  // st sends Delete without its modifier
    {"Prior", 224, 224, 224, 224},
    {"Next", 224, 224, 224, 224},
    {"F1", 0, 0, 0, 0},
    {"shift+F1", 0, 224, 0, 0},  // rxvt-unicode: the bytes of F11
    {"ctrl+F1", 0, 0, 0, 0},
    {"alt+F1", 0, 0, 0, 0},
    {"F3", 0, 0, 0, 0},
    {"shift+F3", 0, 0, 0, 0},
    {"ctrl+F3", 0, 0, 0, 0},
    {"alt+F3", 0, 0, 0, 0},
    {"F5", 0, 0, 0, 0},
    {"shift+F5", 0, 0, 0, 0},
    {"ctrl+F5", 0, 0, 0, 0},
    {"alt+F5", 0, 0, 0, 0},
    {"F12", 224, 224, 224, 224},
    {"shift+F12", 224, 224, 224, 224},
    {"ctrl+F12", 224, 224, 224, 224},
    {"alt+F12", 224, 224, 224, 224},
    {"shift+Tab", 0, 0, 0, 0},
    // The display starts with Num Lock off; xdotool turns it on for KP_5.
    // tmux puts the keypad in application mode, where Num Lock off makes its
    // Enter send LF, the bytes of Ctrl+J.
    {"KP_Enter", 13, 13, 13, 10},
    {"KP_5", '5', '5', '5', '5'},
    {"KP_Divide", '/', '/', '/', '/'},
    {"KP_Enter", 13, 13, 13, 13},
};

std::vector<std::string> key_names(const char* keys) {
    std::stringstream words(keys);
    std::vector<std::string> names;
    std::string name;
    while (words >> name) names.push_back(name);
    return names;
}

std::string shown_code(int code) {
    if (code == no_code) return "none";
    if (code == kept) return "kept";
    return std::to_string(code);
}

class TerminalEmulators : public ::testing::Test {
protected:
    // A display of its own for each test, so that no keyboard state (Num Lock)
    // carries over from one terminal's keys to the next.
    bool start_display() {
        int display_pipe[2];
        if (pipe(display_pipe) != 0) return false;
        std::fflush(nullptr);
        display_server = fork();
        if (display_server == 0) {
            setpgid(0, 0);
            close(display_pipe[0]);
            const std::string fd = std::to_string(display_pipe[1]);
            const int null_device = open("/dev/null", O_RDWR);
            dup2(null_device, STDOUT_FILENO);
            dup2(null_device, STDERR_FILENO);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(display_pipe[1]);
        std::string number;
        char byte = 0;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(display_pipe[0], &readable);
        timeval timeout{10, 0};
        if (select(display_pipe[0] + 1, &readable, nullptr, nullptr, &timeout) > 0)
            while (read(display_pipe[0], &byte, 1) == 1 && byte != '\n') number += byte;
        close(display_pipe[0]);
        if (!number.empty()) setenv("DISPLAY", (":" + number).c_str(), 1);
        return !number.empty();
    }

    void SetUp() override {
        if (!on_path("Xvfb") || !on_path("xdotool")) GTEST_SKIP() << "Xvfb or xdotool is not installed";
        ASSERT_TRUE(start_display()) << "Xvfb did not start";
        char directory_template[] = "/tmp/tandrel-terminals-XXXXXX";
        ASSERT_NE(mkdtemp(directory_template), nullptr);
        directory = directory_template;
        ASSERT_EQ(mkfifo((directory + "/requests").c_str(), 0600), 0);
        std::ofstream(directory + "/numbers") << "60 100\n";
    }

    void TearDown() override {
        stop_background(emulator);
        if (!tmux_socket.empty()) run({"tmux", "-L", tmux_socket, "kill-server"}, 5000);
        if (terminal >= 0) close(terminal);
        if (!directory.empty()) run({"rm", "-rf", directory}, 5000);
        stop_background(display_server);
    }

    // Starts the emulator with the program's runner inside and gives its
    // window the keyboard focus.
    void start(const terminal_emulator& emulator_kind) {
        for (const std::string& program : emulator_kind.needed)
            if (!on_path(program)) GTEST_SKIP() << program << " is not installed";
        const std::string title = std::string("tandrel keys in ") + emulator_kind.name;
        std::vector<std::string> command = emulator_kind.command_before_title;
        command.push_back(title);
        command.insert(command.end(), emulator_kind.command_after_title.begin(),
                       emulator_kind.command_after_title.end());
        command.insert(command.end(), {"sh", TANDREL_RUNNER, directory, TANDREL_PROGRAM});
        setenv("LC_ALL", "C.UTF-8", 1);
        emulator = start_in_background(command);
        ASSERT_GT(emulator, 0);

        std::string terminal_name;
        const auto start_time = clock_type::now();
        while (!read_file(directory + "/tty", &terminal_name) && elapsed_ms(start_time) < 10000) pause_ms(10);
        ASSERT_FALSE(terminal_name.empty()) << emulator_kind.name << " did not run the program's runner";
        terminal_name.erase(terminal_name.find_last_not_of('\n') + 1);
        terminal = open(terminal_name.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(terminal, 0) << terminal_name;

        std::string windows;
        ASSERT_TRUE(run({"xdotool", "search", "--sync", "--name", title}, 10000, &windows));
        const std::string window = windows.substr(0, windows.find('\n'));
        ASSERT_TRUE(run({"xdotool", "windowfocus", "--sync", window}, 5000));
    }

    bool terminal_is_raw() const {
        termios mode{};
        return tcgetattr(terminal, &mode) == 0 && !(mode.c_lflag & (ICANON | ECHO));
    }

    // Runs the program once; false if it did not come to its key wait.
    bool run_program() {
        unlink((directory + "/status").c_str());
        const auto start_time = clock_type::now();
        int requests = -1;
        while ((requests = open((directory + "/requests").c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
            if (elapsed_ms(start_time) > 5000) return false;
            pause_ms(5);
        }
        const bool written = write(requests, "run\n", 4) == 4;
        close(requests);
        while (written && !terminal_is_raw()) {
            if (elapsed_ms(start_time) > 5000) return false;
            pause_ms(2);
        }
        return written;
    }

    // The program's exit status, or no_code if it is still waiting.
    int exit_status_within(int timeout_ms) {
        std::string status;
        const auto start_time = clock_type::now();
        while (!read_file(directory + "/status", &status)) {
            if (elapsed_ms(start_time) > timeout_ms) return no_code;
            pause_ms(2);
        }
        return std::atoi(status.c_str());
    }

    bool press(const std::string& key) {
        return run({"xdotool", "key", key}, 5000);
    }

    // Presses the keys in the program's wait and returns the code it ended
    // with; no_code if a key before the last ended it, or the last did not.
    int code_for(const char* keys) {
        if (!run_program()) {
            ADD_FAILURE() << "the program did not reach its key wait for " << keys;
            return no_code;
        }
        const std::vector<std::string> names = key_names(keys);
        for (std::size_t i = 0; i + 1 < names.size(); ++i) {
            if (!press(names[i])) return no_code;
            if (exit_status_within(200) != no_code) return no_code;
        }
        if (!press(names.back())) {
            ADD_FAILURE() << "xdotool could not press " << names.back();
            return no_code;
        }
        // tmux holds a lone Escape for half a second before it passes it on.
        const int code = exit_status_within(2000);
        if (code == no_code) {
            press("q");
            exit_status_within(2000);
        }
        return code;
    }

    void expect_codes(const terminal_emulator& emulator_kind, int key_case::*expected) {
        start(emulator_kind);
        if (IsSkipped() || HasFatalFailure()) return;
        std::printf("%-14s %-9s %s\n", emulator_kind.name, "expected", "seen");
        for (const key_case& c : key_cases) {
            if (c.*expected == kept) continue;
            const int code = code_for(c.keys);
            std::printf("%-14s %-9s %s\n", c.keys, shown_code(c.*expected).c_str(),
                        shown_code(code).c_str());
            EXPECT_EQ(code, c.*expected) << c.keys << " in " << emulator_kind.name;
        }
    }

    pid_t display_server = -1;
    pid_t emulator = -1;
    int terminal = -1;
    std::string directory;
    std::string tmux_socket;
};

TEST_F(TerminalEmulators, Xterm) {
    expect_codes({"xterm", {"xterm"}, {"xterm", "-title"}, {"-e"}}, &key_case::xterm);
}

TEST_F(TerminalEmulators, RxvtUnicode) {
    expect_codes({"rxvt-unicode", {"urxvt"}, {"urxvt", "-title"}, {"-e"}}, &key_case::rxvt_unicode);
}

TEST_F(TerminalEmulators, St) {
    const char* st = on_path("st") ? "st" : "stterm";
    expect_codes({"st", {st}, {st, "-t"}, {"-e"}}, &key_case::st);
}

TEST_F(TerminalEmulators, TmuxInXterm) {
    tmux_socket = "tandrel-keys-" + std::to_string(getpid());
    expect_codes({"tmux in xterm", {"xterm", "tmux"}, {"xterm", "-title"},
                  {"-e", "tmux", "-L", tmux_socket, "-f", "/dev/null", "new-session"}},
                 &key_case::tmux_in_xterm);
}

}  // namespace
