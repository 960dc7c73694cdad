// What a person feels: how long after a key the program has ended, and how
// long a whole run takes without a console next to a minimal program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pty_session.h"

namespace {

using clock_type = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double milliseconds_since(clock_type::time_point start) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

// Key typed once the wait is raw, until the program has been reaped.
double key_to_exit_ms(const std::string& key) {
    program_session session;
    program_options options;
    options.command = {TANDREL_PROGRAM};
    options.input = input_source::null_device;
    double elapsed = -1;
    if (start_program(&session, options) && wait_for_raw_mode(&session, 5000)) {
        const auto pressed = clock_type::now();
        type(&session, key);
        waitpid(session.pid, nullptr, 0);
        elapsed = milliseconds_since(pressed);
        session.pid = -1;
    }
    end_session(&session);
    return elapsed;
}

// A whole run in a new session without a controlling terminal, both numbers
// from a file, output to /dev/null.
double whole_run_ms(const char* program, const char* input_path) {
    const auto start = clock_type::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int input = open(input_path, O_RDONLY);
        const int output = open("/dev/null", O_WRONLY);
        dup2(input, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    waitpid(pid, nullptr, 0);
    return milliseconds_since(start);
}

// A target missed is reported; a limit overrun is a regression and fails
// the run.
bool report(const char* what, double measured, double target, double limit, const char* unit) {
    std::printf("%-36s %9.3f %-3s (target %g %s, limit %g %s) %s\n", what, measured, unit, target,
                unit, limit, unit,
                measured > limit ? "OVER THE LIMIT" : measured > target ? "target missed" : "met");
    return measured <= limit;
}

}  // namespace

int main() {
    constexpr int key_runs = 41;
    constexpr int whole_runs = 301;
    // Keys may take three times their target on a loaded machine before it
    // counts as a regression.
    constexpr double key_limit_factor = 3;
    bool within_limits = true;

    struct key_case {
        const char* what;
        std::string key;
        double target_ms;
    };
    const key_case keys[] = {
        {"letter, key to exit", "q", 5},
        {"arrow (ESC [ A), key to exit", "\x1b[A", 5},
        {"lone Escape, key to exit", "\x1b", 60},
    };
    for (const key_case& k : keys) {
        std::vector<double> times;
        for (int i = 0; i < key_runs; ++i) times.push_back(key_to_exit_ms(k.key));
        within_limits &= report(k.what, median(times), k.target_ms, k.target_ms * key_limit_factor, "ms");
    }

    char input_path[] = "/tmp/tandrel-bench-XXXXXX";
    const int input = mkstemp(input_path);
    if (input < 0 || write(input, "60 100\n", 7) != 7) return 2;
    close(input);
    std::vector<double> tandrel_times;
    std::vector<double> minimal_times;
    for (int i = 0; i < whole_runs; ++i) {
        tandrel_times.push_back(whole_run_ms(TANDREL_PROGRAM, input_path));
        minimal_times.push_back(whole_run_ms(MINIMAL_PROGRAM, input_path));
    }
    unlink(input_path);
    const double tandrel_ms = median(tandrel_times);
    const double minimal_ms = median(minimal_times);
    std::printf("%-36s %9.3f ms\n", "whole run without a console", tandrel_ms);
    std::printf("%-36s %9.3f ms\n", "minimal program, same run", minimal_ms);
    within_limits &= report("ratio to the minimal program", tandrel_ms / minimal_ms, 1.2, 1.2, "x");
    return within_limits ? 0 : 1;
}
