// The program started unattended ("P1:", "P2:", "-A") against two emulated servers, as a
// process on the offscreen platform: it ships the database, keeps shipping after changes and
// after being killed, and the reserve database ends up holding the main one's rows; with
// "--reseed" its start replaces a reserve database brought online and changed by hand.
#include "config/SettingsKeys.h"
#include "platform/Registry.h"
#include "tests/e2e/Workstation.h"
#include "tests/support/CtClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

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

// With -A nobody answers a box: a start that cannot ship ends, as the service does, with an
// error entry, its line on standard error and an exit code (its own for a refused logon),
// within a minute instead of waiting for a box or the logon dialog.
TEST(UnattendedRun, AStartThatCannotShipEndsWithItsReasonAndAnExitCodeInsteadOfABox) {
    Workstation workstation;
    workstation.environment().unset("TVR_PROMPTS");
    const std::string registry = tvr::testing::fileText(workstation.registryFile());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = registry;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    const auto withSetting = [&](const char* entry, const std::string& value) {
        tvr::platform::Registry(workstation.registryFile())
            .writeDefaultText(tvr::config::settingKeyPath(entry), value);
        const std::string text = tvr::testing::fileText(workstation.registryFile());
        std::ofstream(workstation.registryFile(), std::ios::binary) << registry;
        return text;
    };
    const std::string longName(31, 'd');
    const struct {
        const char* fault;
        std::vector<std::string> args;
        std::string registry;
        int code;
        std::vector<std::string> reasons;  // in the output, in this order
    } cases[] = {
        {"wrong password",
         {"P1:wrong", "P2:" + kReservePassword, "-A"},
         registry,
         4,
         {"Unable establish connection", "the main server refused the logon"}},
        {"registry file unreadable",
         unattendedArguments(),
         "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\r\n",
         1,
         {workstation.registryFile().string()}},
        {"server name not resolvable",
         unattendedArguments(),
         replaced("\"ServerName\"=\"MAIN\"", "\"ServerName\"=\"NOWHERE\""),
         1,
         {"cannot log on to the main server"}},
        {"database name too long",
         unattendedArguments(),
         withSetting("ComboDump", longName),
         1,
         {"Database name \"" + longName + "\" has 31 characters", "processing did not start"}},
    };
    int run = 0;
    for (const auto& c : cases) {
        std::ofstream(workstation.registryFile(), std::ios::binary) << c.registry;
        ProgramProcess tvr("tvr", c.args, workstation.root() / ("tvr" + std::to_string(++run)));
        EXPECT_EQ(tvr.exitCode(std::chrono::seconds(60)), c.code) << c.fault << "\n"
                                                                  << tvr.output();
        std::size_t at = 0;
        for (const std::string& reason : c.reasons) {
            at = tvr.output().find(reason, at);
            EXPECT_NE(at, std::string::npos) << c.fault << ": " << reason << "\n" << tvr.output();
        }
    }
    // The refused logon's entry is in the error log too, written before any box.
    EXPECT_NE(workstation.activityLog().find("Unable establish connection"), std::string::npos)
        << workstation.activityLog();
}
