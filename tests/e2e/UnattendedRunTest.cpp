// The program started unattended ("P1:", "P2:", "-A") against two emulated servers, as a
// process on the offscreen platform: it ships the database, keeps shipping after changes and
// after being killed, and the reserve database ends up holding the main one's rows; with
// "--reseed" its start replaces a reserve database brought online and changed by hand.
#include "tests/e2e/Workstation.h"
#include "tests/support/CtClient.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace tvr::e2e;
using namespace std::chrono_literals;

namespace {

const std::vector<std::string> kChanges = {
    "insert into orders values (102, 1, 310.4, getdate())",
    "update customers set city = 'Lisbon' where id = 2",
    "insert into customers values (3, 'Fjord Provisions', NULL)",
    "delete from orders where id = 100",
};

std::string reportOf(ProgramProcess& program, const WorkstationFolders& workstation) {
    return "program output:\n" + program.output() + "\nactivity log:\n" + workstation.activityLog();
}

}  // namespace

TEST(UnattendedRun, ShipsAFullPassThenTransactionPassesAndTheReserveEndsEqualToTheMain) {
    Workstation workstation;
    ProgramProcess tvr("tvr", unattendedArguments(), workstation.root() / "tvr.out");

    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); }))
        << reportOf(tvr, workstation);
    const std::size_t firstPass = workstation.activityLog().size();
    workstation.changeRows(kChanges);
    const std::size_t changed = workstation.activityLog().size();
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(changed); }))
        << reportOf(tvr, workstation);
    ASSERT_TRUE(tvr.running()) << reportOf(tvr, workstation);
    tvr.end();

    const std::string log = workstation.activityLog();
    // The first pass dumped the database, the later ones its transaction log.
    EXPECT_NE(log.find(".db"), std::string::npos) << log;
    EXPECT_LT(log.find(".db"), firstPass) << log;
    EXPECT_NE(log.find(".tr", firstPass), std::string::npos) << log;
    EXPECT_EQ(log.find(".tr"), log.find(".tr", firstPass)) << "a transaction pass came first";
    EXPECT_EQ(tvr.output().find("[Error]"), std::string::npos) << tvr.output();

    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
}

TEST(UnattendedRun, KilledInTheMiddleOfAPassItShipsOnWhenStartedAgainAndKeepsEveryLogLine) {
    Workstation workstation;
    std::string logBeforeKill;
    {
        ProgramProcess first("tvr", unattendedArguments(), workstation.root() / "first.out");
        ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); }))
            << reportOf(first, workstation);
        // The next statement any connection sends to MAIN waits in the server: the first
        // statement of the program's next pass, which is then under way when the kill comes.
        tvr::testing::CtClient client;
        ASSERT_TRUE(client.connect("MAIN", "sa", kMainPassword));
        ASSERT_FALSE(client.execute("emulator fault stall 60").failed());
        const std::size_t traced = workstation.mainServer().traceText().size();
        ASSERT_TRUE(eventually([&] {
            return workstation.mainServer().traceText().find("use master", traced) !=
                   std::string::npos;
        })) << reportOf(first, workstation);
        logBeforeKill = workstation.activityLog();
        first.kill(SIGKILL);
        ASSERT_TRUE(first.wait());
    }
    workstation.changeRows(kChanges);

    ProgramProcess second("tvr", unattendedArguments(), workstation.root() / "second.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(logBeforeKill.size()); }))
        << reportOf(second, workstation);
    second.end();

    EXPECT_EQ(workstation.activityLog().substr(0, logBeforeKill.size()), logBeforeKill);
    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
}

TEST(UnattendedRun, AReseedStartReplacesAReserveBroughtOnlineAndChangedByHand) {
    Workstation workstation;
    std::vector<std::string> args = unattendedArguments();
    {
        // Without -A there is no start for it to be.
        ProgramProcess alone("tvr", {"P1:" + kMainPassword, "--reseed"},
                             workstation.root() / "alone.out");
        EXPECT_EQ(alone.exitCode(), 1) << alone.output();
        EXPECT_NE(alone.output().find("--reseed goes with -A"), std::string::npos)
            << alone.output();
    }
    {
        ProgramProcess first("tvr", args, workstation.root() / "first.out");
        ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); }))
            << reportOf(first, workstation);
        first.end();
    }
    ASSERT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
    {
        tvr::testing::CtClient reserve;
        ASSERT_TRUE(reserve.connect("RESERVE", "sa", kReservePassword));
        reserve.execute("use sales_copy");
        ASSERT_FALSE(
            reserve.execute("insert into orders values (900, 1, 1.5, getdate())").failed());
    }
    const std::size_t before = workstation.activityLog().size();
    args.push_back("--reseed");
    ProgramProcess second("tvr", args, workstation.root() / "second.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(before); }))
        << reportOf(second, workstation);
    second.end();
    EXPECT_NE(workstation.activityLog().find(".db", before), std::string::npos);
    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
}
