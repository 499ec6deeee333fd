// The program stopped by SIGTERM or SIGINT, as systemd, a shutdown or Ctrl+C stop it, while a
// pass is under way: the pass finishes and its load completes, then the program ends with
// exit code 0 and the reserve holds what the main server held.
#include "platform/StopSignals.h"
#include "tests/e2e/Workstation.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace tvr::e2e;

namespace {

std::string reportOf(ProgramProcess& program, const WorkstationFolders& workstation) {
    return "program output:\n" + program.output() + "\nactivity log:\n" + workstation.activityLog();
}

}  // namespace

class StopSignal : public testing::TestWithParam<int> {};

TEST_P(StopSignal, APassUnderWayFinishesThenTheProgramEndsWithExitCodeZero) {
    Workstation workstation;
    ProgramProcess tvr("tvr", unattendedArguments(), workstation.root() / "tvr.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); }))
        << reportOf(tvr, workstation);
    const std::size_t logged = workstation.signalInMidPass(tvr, GetParam());

    EXPECT_EQ(tvr.exitCode(), 0) << reportOf(tvr, workstation);
    // The last pass begun, the one under way when the signal came, has loaded its dump.
    EXPECT_TRUE(workstation.lastPassLoaded()) << workstation.activityLog();
    EXPECT_NE(workstation.activityLog().find("Stopped by " + tvr::platform::signalName(GetParam()),
                                             logged),
              std::string::npos)
        << reportOf(tvr, workstation);
    EXPECT_EQ(tvr.output().find("[Error]"), std::string::npos) << tvr.output();
    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& param) {
                             return tvr::platform::signalName(param.param);
                         });
