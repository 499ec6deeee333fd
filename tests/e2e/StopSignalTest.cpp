// The program stopped by SIGTERM or SIGINT, as systemd, a shutdown or Ctrl+C stop it, while a
// pass is under way: the pass finishes and its load completes, then the program ends with
// exit code 0 and the reserve holds what the main server held.
#include "platform/StopSignals.h"
#include "tests/e2e/Workstation.h"
#include "tests/support/CtClient.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

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
    workstation.changeRows({"insert into orders values (102, 1, 310.4, getdate())"});

    // The next statement sent to MAIN waits there a little: the first of the next pass, which
    // is then under way when the signal comes.
    tvr::testing::CtClient client;
    ASSERT_TRUE(client.connect("MAIN", "sa", kMainPassword));
    ASSERT_FALSE(client.execute("emulator fault stall 2").failed());
    const std::size_t traced = workstation.mainServer().traceText().size();
    ASSERT_TRUE(eventually([&] {
        return workstation.mainServer().traceText().find("use master", traced) != std::string::npos;
    })) << reportOf(tvr, workstation);
    const std::size_t logged = workstation.activityLog().size();
    tvr.kill(GetParam());

    const std::optional<int> status = tvr.wait();
    ASSERT_TRUE(status) << reportOf(tvr, workstation);
    ASSERT_TRUE(WIFEXITED(*status)) << reportOf(tvr, workstation);
    EXPECT_EQ(WEXITSTATUS(*status), 0) << reportOf(tvr, workstation);
    // The last pass begun, the one under way when the signal came, has loaded its dump.
    const std::string log = workstation.activityLog();
    ASSERT_NE(log.rfind("Start Dump"), std::string::npos) << log;
    EXPECT_NE(log.find("LOAD is complete", log.rfind("Start Dump")), std::string::npos) << log;
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
