// Starts of the program as a process that end at once: a second instance, and a machine
// without an Open Client installation.
#include "tests/e2e/Workstation.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <thread>
#include <utility>

using namespace tvr::e2e;
using namespace std::chrono_literals;

namespace {

bool endedNormally(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace

TEST(ProgramProcess, ASecondStartEndsAtOnceAndOnlyAsksTheFirstToShowItsWindow) {
    Workstation workstation("00:01");  // a minute's rest after each pass
    ProgramProcess first("tvr", unattendedArguments(), workstation.root() / "first.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); })) << first.output();
    // The first pass is over once its log stands still; the next one is a minute away.
    std::string before = workstation.snapshot();
    ASSERT_TRUE(eventually([&] {
        std::this_thread::sleep_for(2s);
        return std::exchange(before, workstation.snapshot()) == before;
    }));

    ProgramProcess second("tvr", unattendedArguments(), workstation.root() / "run" / "second.out");
    const auto status = second.wait(60s);
    EXPECT_TRUE(endedNormally(status));
    EXPECT_EQ(second.output(), "");
    std::filesystem::remove(workstation.root() / "run" / "second.out");
    // The first was asked to show its window and logged it; that line is all that changed.
    const std::string asked = "A second start of Travenor asked to show this window";
    ASSERT_TRUE(eventually([&] {
        return workstation.activityLog().find(asked) != std::string::npos;
    })) << first.output();
    std::string after = workstation.snapshot();
    // Besides the log line, the offscreen platform's note in the first's output that it has no
    // window to raise.
    for (const std::string& added : {asked, std::string("This plugin does not support raise()")}) {
        const auto line = after.find(added);
        if (line != std::string::npos) after.erase(line, after.find('\n', line) + 1 - line);
    }
    EXPECT_EQ(after, before);
    EXPECT_TRUE(first.running());
}

TEST(ProgramProcess, WithoutSybaseItSaysSoAndEndsWithoutTouchingAnyFile) {
    WorkstationFolders workstation;
    workstation.environment().unset("SYBASE");
    const std::string before = workstation.snapshot();

    ProgramProcess tvr("tvr", unattendedArguments(), workstation.root() / "run" / "tvr.out");
    const auto status = tvr.wait(60s);
    // Unattended, a start that cannot ship ends with a fault's exit code.
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << tvr.output();
    EXPECT_NE(tvr.output().find("[Message] Your need install Sybase\n"), std::string::npos)
        << tvr.output();
    // Only the single-instance guard's lock file and the program's output are new.
    std::filesystem::remove(workstation.root() / "run" / "tvr.out");
    std::filesystem::remove(workstation.registryFile().string() + ".instance");
    EXPECT_EQ(workstation.snapshot(), before);
}
