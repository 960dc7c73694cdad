// The Windows build, cross-compiled and run under Wine with a pseudo-terminal
// as its console.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "dialogue.h"
#include "pty_session.h"

namespace {

// Wine's first start in a new prefix takes several seconds.
constexpr int patience_ms = 60000;

const std::string windows_build = TANDREL_WINDOWS_BUILD_DIR;
const std::string program = windows_build + "/tandrel.exe";

bool command_exists(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The console writes line ends as CR LF.
std::string with_windows_line_ends(const std::string& text) {
    std::string converted;
    for (char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
}

class TandrelUnderWine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"x86_64-w64-mingw32-g++", "wine", "wineserver"})
            if (!command_exists(tool)) missing_tool = tool;
        if (!missing_tool.empty()) return;
        const std::string build_log = windows_build + ".log";
        const std::string cross_build =
            "cmake -S '" TANDREL_SOURCE_DIR "' -B '" + windows_build +
            "' -DCMAKE_TOOLCHAIN_FILE='" TANDREL_SOURCE_DIR "/cmake/mingw-w64-x86_64.cmake' > '" +
            build_log + "' 2>&1 && cmake --build '" + windows_build + "' >> '" + build_log + "' 2>&1";
        built = std::system(cross_build.c_str()) == 0;
        setenv("WINEPREFIX", (windows_build + "/wine-prefix").c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        // No .NET or HTML engine: the program needs neither, and Wine would offer to install them.
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    }

    static void TearDownTestSuite() {
        if (missing_tool.empty() && std::system("wineserver -k >/dev/null 2>&1") != 0)
            std::fputs("no Wine server was left to stop\n", stderr);
    }

    void SetUp() override {
        if (!missing_tool.empty()) GTEST_SKIP() << missing_tool << " is not installed";
        ASSERT_TRUE(built) << "cross build failed; see " << windows_build << ".log";
    }

    void TearDown() override { end_session(&session); }

    static std::string missing_tool;
    static bool built;
    program_session session;
};

std::string TandrelUnderWine::missing_tool;
bool TandrelUnderWine::built = false;

struct wine_case {
    const char* first_line;
    const char* second_line;  // empty when both numbers are on the first line
    const char* shown_peak;
    const char* key_name;
    std::string key;
    int status;
};

TEST_F(TandrelUnderWine, DialogueAndKeyCode) {
    const wine_case cases[] = {
        {"60\r", "100\r", "  4.17", "letter", "q", 'q'},
        {"1e200\r", "1e200\r", "  42.9", "Enter", "\r", 13},
        {"10 10\r", "", "  3.03", "F1", "\x1bOP", 0},
        {"2\r", "1\r", "  1.18", "F12", "\x1b[24~", 224},
        {"60\r", "100\r", "  4.17", "capital letter", "Z", 'Z'},
    };
    termios raw = default_terminal_mode();
    // Wine reads the terminal itself and takes a carriage return as Enter.
    cfmakeraw(&raw);
    for (const wine_case& c : cases) {
        SCOPED_TRACE(c.key_name);
        program_options options;
        options.command = {"wine", program};
        options.output_to_file = true;
        options.initial_mode = &raw;
        ASSERT_TRUE(start_program(&session, options));

        const std::string expected = with_windows_line_ends(dialogue(c.shown_peak));
        const std::string second_prompt = "Enter the natural frequency (Hz) \r\n";
        ASSERT_TRUE(output_shows(&session, "Enter the duration (sec) \r\n", patience_ms)) << output_of(session);
        type(&session, c.first_line);
        ASSERT_TRUE(output_shows(&session, second_prompt, patience_ms)) << output_of(session);
        if (*c.second_line) type(&session, c.second_line);
        ASSERT_TRUE(output_shows(&session, "Press any key to exit.\r\n", patience_ms)) << output_of(session);
        type(&session, c.key);
        EXPECT_EQ(wait_for_exit(&session, patience_ms), c.status);
        EXPECT_EQ(output_of(session), expected);
        end_session(&session);
    }
}

}  // namespace
