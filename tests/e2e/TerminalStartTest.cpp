// The program started from a terminal where no window can be shown: --help and --version
// answer on standard output, every other start ends with one line on standard error.
#include "tests/e2e/ProgramProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include "product/ProductVersion.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>

using namespace tvr::e2e;
using namespace std::chrono_literals;

namespace {

struct TerminalCase {
    std::vector<std::string> args;
    const char* display;  // DISPLAY, or nullptr for none
    int exitCode;
    std::string outputStart;  // what standard output begins with
    bool oneErrorLine;        // else standard error stays empty
};

}  // namespace

TEST(TerminalStart, AnswersHelpAndVersionWithoutADisplayAndEndsAnyOtherStartWithOneLine) {
    const std::string version = std::string("tvr (Travenor) ") + tvr::kProductVersion + "\n";
    const std::vector<TerminalCase> cases = {
        {{"--help"}, nullptr, 0, "Usage: tvr ", false},
        {{"--version"}, nullptr, 0, version, false},
        {{"P1:secret", "--version"}, nullptr, 0, version, false},
        {{}, nullptr, 1, "", true},
        {{"P1:secret", "P2:other", "-A"}, nullptr, 1, "", true},
        // A display named but not there: Qt's plugin fails, and says so only through us.
        {{}, ":4711", 1, "", true},
    };
    tvr::testing::ScopedEnvironment env;
    for (const char* name : {"SYBASE", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
        env.unset(name);
    for (const TerminalCase& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(no arguments)") : c.args.front());
        if (c.display) {
            env.set("DISPLAY", c.display);
        } else {
            env.unset("DISPLAY");
        }
        tvr::testing::TempFolder folder;
        ProgramProcess tvr("tvr", c.args, folder / "out", folder / "err");
        const auto status = tvr.wait(60s);
        ASSERT_TRUE(status && WIFEXITED(*status)) << tvr.output() << tvr.errors();
        EXPECT_EQ(WEXITSTATUS(*status), c.exitCode);
        EXPECT_EQ(tvr.output().substr(0, c.outputStart.size()), c.outputStart);
        if (c.outputStart.empty()) {
            EXPECT_EQ(tvr.output(), "");
        }
        const std::string errors = tvr.errors();
        if (c.oneErrorLine) {
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
            EXPECT_EQ(errors.rfind("tvr: ", 0), 0u) << errors;
        } else {
            EXPECT_EQ(errors, "");
        }
    }
    // The first setup's tool answers --help the same way.
    tvr::testing::TempFolder folder;
    ProgramProcess setup("tvr_first_setup", {"--help"}, folder / "out", folder / "err");
    EXPECT_EQ(setup.exitCode(), 0) << setup.errors();
    EXPECT_EQ(setup.output().rfind("usage: tvr_first_setup", 0), 0u) << setup.output();
    EXPECT_EQ(setup.errors(), "");
}
