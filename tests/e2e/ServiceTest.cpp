// The program as a service (tvr --service), as systemd runs it: no display variable at all,
// passwords from a file only its owner reads. It ships, stops cleanly on SIGTERM after the pass
// under way, turns the boxes a window would show into error entries, runs beside another
// profile's service, and ends at once with its reason and exit code 1 on a configuration fault.
#include "config/SettingsKeys.h"
#include "platform/Registry.h"
#include "tests/e2e/Workstation.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

using namespace tvr::e2e;
namespace fs = std::filesystem;

namespace {

// What a systemd unit has: no display of any kind.
class NoDisplay {
public:
    explicit NoDisplay(tvr::testing::ScopedEnvironment& env) {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.unset(name);
    }
};

fs::path passwordFile(const WorkstationFolders& workstation) {
    const fs::path file = workstation.root() / "passwords";
    std::ofstream(file) << "P1:" << kMainPassword << "\nP2:" << kReservePassword << "\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    return file;
}

std::vector<std::string> serviceArguments(const WorkstationFolders& workstation,
                                          const std::string& profile = "") {
    std::vector<std::string> args{"--service", "--password-file", passwordFile(workstation)};
    if (!profile.empty()) args.insert(args.end(), {"--profile", profile});
    return args;
}

std::string errorLog(const WorkstationFolders& workstation) {
    for (const auto& entry : fs::directory_iterator(workstation.logFolder()))
        if (entry.path().filename().string().rfind("errsales", 0) == 0)
            return tvr::testing::fileText(entry.path());
    return {};
}

std::vector<std::string> withMetrics(std::vector<std::string> args, const fs::path& metrics) {
    args.insert(args.end(), {"--metrics", metrics.string()});
    return args;
}

// The service writing the metrics file `metrics`, once its first pass has loaded; none, after a
// failure, when it never did.
std::unique_ptr<ProgramProcess> shippingWithMetrics(Workstation& workstation,
                                                    const fs::path& metrics) {
    auto tvr = std::make_unique<ProgramProcess>(
        "tvr", withMetrics(serviceArguments(workstation), metrics), workstation.root() / "tvr.out");
    if (eventually([&] { return workstation.passCompletedAfter(0); })) return tvr;
    ADD_FAILURE() << tvr->output();
    return nullptr;
}

}  // namespace

TEST(Service, ShipsWithoutADisplayAndStopsOnSigtermOnceThePassUnderWayHasLoaded) {
    Workstation workstation;
    const NoDisplay noDisplay(workstation.environment());
    const fs::path metrics = workstation.root() / "tvr.prom";
    const auto shipping = shippingWithMetrics(workstation, metrics);
    ASSERT_TRUE(shipping);
    ProgramProcess& tvr = *shipping;
    EXPECT_TRUE(eventually([&] {
        return fs::exists(metrics) &&
               tvr::testing::fileText(metrics).find("tvr_lag_seconds") != std::string::npos;
    })) << tvr.output();
    // A start with a window finds the guard held and nothing to show: it says so and ends.
    {
        tvr::testing::ScopedEnvironment offscreen;
        offscreen.set("QT_QPA_PLATFORM", "offscreen");
        ProgramProcess windowed("tvr", {}, workstation.root() / "windowed.out");
        EXPECT_EQ(windowed.exitCode(), 0) << windowed.output();
        EXPECT_NE(windowed.output().find("has no window to show"), std::string::npos)
            << windowed.output();
    }
    const std::size_t logged = workstation.signalInMidPass(tvr, SIGTERM);
    EXPECT_EQ(tvr.exitCode(), 0) << tvr.output();
    const std::string log = workstation.activityLog();
    EXPECT_TRUE(workstation.lastPassLoaded()) << log;
    EXPECT_NE(log.find("Stopped by SIGTERM", logged), std::string::npos) << log;
    EXPECT_NE(tvr.output().find("tvr: stopped"), std::string::npos) << tvr.output();
    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
}

// tvr_first_setup --resume-chain ticks the setting in the profile's file; a re-seed asked for
// on the command line says so as the service starts, and ships the whole database first.
TEST(Service, ASetupThatResumesTheChainAndAReseedAskedForOnItsCommandLine) {
    Workstation workstation(WorkstationOptions{"00:00:01", {}, {"--resume-chain"}});
    const NoDisplay noDisplay(workstation.environment());
    std::string resume;
    ASSERT_EQ(tvr::platform::Registry(workstation.registryFile())
                  .readDefaultText(tvr::config::settingKeyPath("IsResumeChain"), resume),
              tvr::platform::RegStatus::Ok);
    EXPECT_EQ(resume, "-1");
    std::vector<std::string> args = serviceArguments(workstation);
    args.push_back("--reseed");
    ProgramProcess tvr("tvr", args, workstation.root() / "tvr.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); })) << tvr.output();
    tvr.kill(SIGTERM);
    EXPECT_EQ(tvr.exitCode(), 0) << tvr.output();
    EXPECT_NE(tvr.output().find("re-seeding RESERVE.sales_copy first"), std::string::npos)
        << tvr.output();
    EXPECT_NE(workstation.activityLog().find(".db"), std::string::npos);
}

TEST(Service, AMissingBackupServerIsAnErrorEntryAndThePassesGoOn) {
    Workstation workstation(WorkstationOptions{"00:00:01", {"--no-backup-entry"}, {}});
    const NoDisplay noDisplay(workstation.environment());
    ProgramProcess tvr("tvr", serviceArguments(workstation), workstation.root() / "tvr.out");
    // Nobody answers the box a window would show: pass follows pass (their loads fail
    // without a Backup Server, and say so).
    ASSERT_TRUE(eventually([&] {
        const std::string log = workstation.activityLog();
        const auto first = log.find("Start Dump");
        return first != std::string::npos && log.find("Start Dump", first + 1) != std::string::npos;
    })) << tvr.output();
    EXPECT_NE(errorLog(workstation).find("BACKUP server not found"), std::string::npos)
        << errorLog(workstation);
    // Also where systemd's journal takes it.
    EXPECT_NE(tvr.output().find("BACKUP server not found"), std::string::npos) << tvr.output();
    tvr.kill(SIGTERM);
    EXPECT_EQ(tvr.exitCode(), 0) << tvr.output();
}

TEST(Service, TwoProfilesShipTwoPairsAtOnceAndASecondStartOfOneIsRefused) {
    Workstation workstation;
    workstation.addProfile("east");
    const NoDisplay noDisplay(workstation.environment());
    ProgramProcess west("tvr", serviceArguments(workstation), workstation.root() / "west.out");
    ProgramProcess east("tvr", serviceArguments(workstation, "east"),
                        workstation.root() / "east.out");
    for (const std::string profile : {"", "east"}) {
        ASSERT_TRUE(eventually([&] { return workstation.lastPassLoaded(profile); }))
            << west.output() << east.output();
    }
    ProgramProcess again("tvr", serviceArguments(workstation, "east"),
                         workstation.root() / "again.out");
    EXPECT_EQ(again.exitCode(), 1) << again.output();
    EXPECT_NE(again.output().find("another Travenor runs profile east"), std::string::npos)
        << again.output();

    workstation.changeRows({"insert into orders values (103, 2, 99.5, getdate())"}, "east");
    for (const std::string profile : {"", "east"}) {
        const std::size_t logged = workstation.activityLog(profile).size();
        ASSERT_TRUE(eventually([&] {
            return workstation.activityLog(profile).find("LOAD is complete", logged) !=
                   std::string::npos;
        }));
    }
    west.kill(SIGTERM);
    east.kill(SIGTERM);
    EXPECT_EQ(west.exitCode(), 0) << west.output();
    EXPECT_EQ(east.exitCode(), 0) << east.output();
    EXPECT_EQ(workstation.reserveRowsOnline(), workstation.mainRows());
    EXPECT_EQ(workstation.reserveRowsOnline("east"), workstation.mainRows("east"));
    EXPECT_NE(workstation.mainRows("east"), workstation.mainRows());
}

TEST(Service, AConfigurationFaultEndsItAtOnceWithItsReasonAndItsExitCode) {
    Workstation workstation;
    const NoDisplay noDisplay(workstation.environment());
    const std::string registry = tvr::testing::fileText(workstation.registryFile());
    const auto withRegistry = [&](std::string text) {
        return [&workstation, text] {
            std::ofstream(workstation.registryFile(), std::ios::binary) << text;
        };
    };
    std::string unknownServer = registry;
    const std::string server = "\"ServerName\"=\"MAIN\"";
    ASSERT_NE(unknownServer.find(server), std::string::npos) << registry;
    unknownServer.replace(unknownServer.find(server), server.size(), "\"ServerName\"=\"NOWHERE\"");
    const fs::path passwords = passwordFile(workstation);
    const fs::path wrongPasswords = workstation.root() / "wrong";
    std::ofstream(wrongPasswords) << "P1:wrong\nP2:" << kReservePassword << "\n";
    fs::permissions(wrongPasswords, fs::perms::owner_read | fs::perms::owner_write);
    const struct {
        const char* fault;
        std::vector<std::string> args;
        std::function<void()> prepare;
        std::vector<std::string> reasons;  // on standard error, in this order
        int code = 1;
    } cases[] = {
        {"no password", {"--service"}, nullptr, {"no password for the main server"}},
        {"password on the command line",
         {"--service", "P1:" + kMainPassword},
         nullptr,
         {"no password on its command line"}},
        {"bad profile name", {"--service", "--profile", "../east"}, nullptr, {"is not usable"}},
        {"profile never set up",
         {"--service", "--password-file", passwords, "--profile", "west"},
         nullptr,
         {"the first setup of profile west is not done"}},
        {"registry file unreadable",
         {"--service", "--password-file", passwords},
         withRegistry("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\r\n"),
         {workstation.registryFile().string()}},
        {"log folder not writable",
         {"--service", "--password-file", passwords},
         [&] { std::ofstream(workstation.logFolder()) << "a file"; },
         {"cannot write the activity log"}},
        // A refusal has a code of its own, which the unit does not restart.
        {"wrong password",
         {"--service", "--password-file", wrongPasswords},
         nullptr,
         {"Login failed", "tvr: the main server refused the logon to \"MAIN\""},
         4},
        // FreeTDS's own words first, then ours.
        {"server name not resolvable",
         {"--service", "--password-file", passwords},
         withRegistry(unknownServer),
         {"Server name not found in configuration files",
          "tvr: cannot log on to the main server \"NOWHERE\" (the reason is above"}},
    };
    int run = 0;
    for (auto c : cases) {
        if (c.prepare) c.prepare();
        ProgramProcess tvr("tvr", c.args, workstation.root() / ("tvr" + std::to_string(++run)));
        EXPECT_EQ(tvr.exitCode(), c.code) << c.fault << "\n" << tvr.output();
        if (c.code != 1) {
            // The unit leaves that code alone instead of restarting the service every minute.
            const std::string unit = tvr::testing::fileText(
                fs::path(std::getenv("TVR_SOURCE_DIR")) / "packaging" / "travenor@.service");
            EXPECT_NE(unit.find("\nRestartPreventExitStatus=" + std::to_string(c.code)),
                      std::string::npos)
                << unit;
        }
        std::size_t at = 0;
        for (const std::string& reason : c.reasons) {
            at = tvr.output().find(reason, at);
            EXPECT_NE(at, std::string::npos) << c.fault << ": " << reason << "\n" << tvr.output();
        }
        std::ofstream(workstation.registryFile(), std::ios::binary) << registry;
        fs::remove_all(workstation.logFolder());
    }
}

// The activity log replaced by a folder while the service ships: shipping goes on, the error
// log, standard error, tvr --check and the metrics say so, and the entries kept meanwhile are
// written into the file once it is back.
TEST(Service, AnUnwritableActivityLogIsReportedEverywhereAndItsEntriesWrittenLater) {
    Workstation workstation;
    const NoDisplay noDisplay(workstation.environment());
    const fs::path metrics = workstation.root() / "tvr.prom";
    const auto shipping = shippingWithMetrics(workstation, metrics);
    ASSERT_TRUE(shipping);
    ProgramProcess& tvr = *shipping;
    fs::path log;
    for (const auto& entry : fs::directory_iterator(workstation.logFolder()))
        if (entry.path().filename().string().rfind("sales", 0) == 0) log = entry.path();
    fs::remove(log);
    fs::create_directory(log);
    int checks = 0;
    const auto check = [&] {
        ProgramProcess run("tvr", {"--check"},
                           workstation.root() / ("check" + std::to_string(++checks)));
        run.exitCode(std::chrono::seconds(60));
        return run.output();
    };
    ASSERT_TRUE(eventually([&] {
        return errorLog(workstation).find("cannot write the activity log") != std::string::npos;
    })) << tvr.output();
    EXPECT_NE(tvr.output().find("cannot write the activity log"), std::string::npos);
    EXPECT_NE(check().find("WARNING: "), std::string::npos);
    EXPECT_NE(check().find("cannot write the activity log " + log.string() + ": Is a directory"),
              std::string::npos)
        << check();
    EXPECT_TRUE(eventually([&] {
        return tvr::testing::fileText(metrics).find("\ntvr_log_write_failures_total 0\n") ==
               std::string::npos;
    })) << tvr::testing::fileText(metrics);
    // A pass while it lasts, then the file back: what was kept out is written into it.
    const auto passes = [&] {
        const std::string text = tvr::testing::fileText(metrics);
        const auto at = text.find("\ntvr_passes_total{kind=\"transaction\"} ");
        return at == std::string::npos ? -1 : std::stoi(text.substr(text.find(' ', at + 1)));
    };
    const int passesAtLoss = passes();
    ASSERT_TRUE(eventually([&] { return passes() > passesAtLoss; }));
    fs::remove(log);
    ASSERT_TRUE(eventually([&] {
        return errorLog(workstation).find("can be written again; the") != std::string::npos;
    })) << tvr.output();
    EXPECT_NE(workstation.activityLog().find("Start Dump"), std::string::npos)
        << errorLog(workstation);
    EXPECT_EQ(check().find("cannot write"), std::string::npos) << check();
    tvr.kill(SIGTERM);
    EXPECT_EQ(tvr.exitCode(), 0) << tvr.output();
}

// SIGTERM while the main server does not answer at all (stopped with SIGSTOP in a pass): the
// service still ends within 10 s, with exit code 0 and the reason in the error log.
TEST(Service, SigtermEndsItWithinTenSecondsWhileAServerDoesNotAnswer) {
    Workstation workstation;
    const NoDisplay noDisplay(workstation.environment());
    ProgramProcess tvr("tvr", serviceArguments(workstation), workstation.root() / "tvr.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); })) << tvr.output();
    const std::size_t traced = workstation.mainServer().traceText().size();
    workstation.mainServer().signal(SIGSTOP);
    // The next pass's first statement is on its way to a server that reads nothing.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const auto stopped = std::chrono::steady_clock::now();
    tvr.kill(SIGTERM);
    const auto code = tvr.exitCode(std::chrono::seconds(60));
    const auto took = std::chrono::steady_clock::now() - stopped;
    workstation.mainServer().signal(SIGCONT);
    EXPECT_EQ(code, 0) << tvr.output();
    EXPECT_LT(took, std::chrono::seconds(20)) << tvr.output();
    EXPECT_NE(errorLog(workstation).find("did not end within"), std::string::npos)
        << errorLog(workstation) << workstation.mainServer().traceText().substr(traced);
}
