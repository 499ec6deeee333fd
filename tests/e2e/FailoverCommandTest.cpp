// `tvr --failover` as a process, without any display: settings that name no pair, or a main
// server that refuses the logon, end it with 1 and nothing sent; after an unattended run it
// fences the main database (--fence) and brings the reserve online with the main's rows (0);
// a second one finds the first one's tail in the pass history, sends nothing to the main
// server and reports the reserve online (0); without the history, the tail a third one
// dumps is refused by the online reserve, and it stops saying why (2). SIGTERM before the
// failover's safe point stops it with nothing sent to the main server (2).
#include "config/SettingsKeys.h"
#include "platform/Registry.h"
#include "tests/e2e/Workstation.h"
#include "tests/support/CtClient.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <filesystem>

using namespace tvr::e2e;

namespace {

// The exit code of `tvr --failover` with the passwords, and what it printed.
std::pair<int, std::string> failOver(const WorkstationFolders& workstation, const char* name,
                                     const std::string& mainPassword = kMainPassword,
                                     const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments{"--failover", "P1:" + mainPassword,
                                       "P2:" + kReservePassword};
    arguments.insert(arguments.end(), more.begin(), more.end());
    ProgramProcess tvr("tvr", arguments, workstation.root() / name);
    const std::optional<int> status = tvr.wait();
    if (!status || !WIFEXITED(*status)) return {-1, tvr.output()};
    return {WEXITSTATUS(*status), tvr.output()};
}

}  // namespace

TEST(FailoverCommand, ExitCodesTellDoneSettingsFaultAndStopped) {
    Workstation workstation;
    // Each load reads the dump's header first: the report says so of the log dumps loaded.
    tvr::platform::Registry(workstation.registryFile())
        .writeDefaultText(tvr::config::settingKeyPath("IsCheckHeader"), "-1");

    ProgramProcess run("tvr", unattendedArguments(), workstation.root() / "run.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); })) << run.output();
    const std::size_t full = workstation.activityLog().rfind("LOAD is complete");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(full); })) << run.output();
    workstation.changeRows({"insert into orders values (900, 1, 9.5, getdate())"});
    run.kill(SIGTERM);
    ASSERT_TRUE(run.wait());

    // No window is needed, nor any display.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        workstation.environment().unset(name);
    {
        const tvr::testing::TempFolder empty("tvr-no-settings");
        workstation.environment().set("TVR_REGISTRY", (empty.path() / "registry.reg").string());
        const auto [code, output] = failOver(workstation, "fault.out");
        EXPECT_EQ(code, 1) << output;
        workstation.environment().set("TVR_REGISTRY", workstation.registryFile().string());
    }
    // A main server that refuses the logon is no lost one: nothing is sent, so the next
    // failover still saves the tail.
    const auto [refused, why] = failOver(workstation, "refused.out", "not" + kMainPassword);
    EXPECT_EQ(refused, 1) << why;
    EXPECT_NE(why.find("refused the logon"), std::string::npos) << why;

    const auto [done, report] = failOver(workstation, "done.out", kMainPassword, {"--fence"});
    EXPECT_EQ(done, 0) << report;
    EXPECT_NE(report.find("sales_copy on RESERVE is online"), std::string::npos) << report;
    EXPECT_NE(report.find("Loss window: none (the tail of the log was saved after the fence)"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("sales on MAIN is read only since"), std::string::npos) << report;
    EXPECT_NE(report.find(".tr, header checked; "), std::string::npos) << report;
    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());

    const auto [online, again] = failOver(workstation, "again.out");
    EXPECT_EQ(online, 0) << again;
    EXPECT_NE(again.find("is online (an earlier failover had saved"), std::string::npos) << again;

    // With the records of the passes and the ledger lost, the reserve itself tells.
    for (const auto& file : std::filesystem::directory_iterator(workstation.logFolder())) {
        if (file.path().filename().string().starts_with("history-"))
            std::filesystem::remove(file.path());
    }
    std::filesystem::remove(workstation.registryFile().parent_path() / "ledger.csv");
    const auto [stopped, third] = failOver(workstation, "third.out");
    EXPECT_EQ(stopped, 2) << third;
    EXPECT_NE(third.find("it is online already"), std::string::npos) << third;
}

TEST(FailoverCommand, SigtermBeforeTheSafePointStopsItWithNothingSentToTheMain) {
    Workstation workstation;
    ProgramProcess run("tvr", unattendedArguments(), workstation.root() / "run.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); })) << run.output();
    run.kill(SIGTERM);
    ASSERT_TRUE(run.wait());
    // The reserve holds the failover's first statement, so the signal comes before the safe
    // point.
    tvr::testing::CtClient reserve;
    ASSERT_TRUE(reserve.connect(Workstation::reserveName(""), "sa", kReservePassword));
    ASSERT_FALSE(reserve.execute("emulator fault stall 10").failed());
    const std::size_t traced = workstation.reserveServer().traceText().size();

    ProgramProcess tvr("tvr",
                       {"--failover", "--fence", "P1:" + kMainPassword, "P2:" + kReservePassword},
                       workstation.root() / "failover.out");
    ASSERT_TRUE(eventually([&] { return workstation.reserveServer().traceText().size() > traced; }))
        << tvr.output();
    tvr.kill(SIGTERM);
    const std::optional<int> status = tvr.wait();

    ASSERT_TRUE(status && WIFEXITED(*status)) << tvr.output();  // not killed by the signal
    EXPECT_EQ(WEXITSTATUS(*status), 2) << tvr.output();
    EXPECT_NE(tvr.output().find("stopped: the program is ending"), std::string::npos)
        << tvr.output();
    // Not fenced: nothing was sent to the main server.
    workstation.changeRows({"insert into orders values (901, 1, 9.5, getdate())"});
}
