// The processing host: the live settings at the moment they are read, and a save whose
// registry file cannot be written.
#include "tests/support/LogonTestSupport.h"

#include "config/SettingsError.h"
#include "config/SettingsProcessingHost.h"

#include <gtest/gtest.h>

namespace {

class SettingsProcessingHost : public ::testing::Test {
protected:
    tvr::testing::TempFolder dir;
    tvr::testing::RunState window;
    tvr::testing::RecordingDisplay display;
    tvr::config::LiveSettings live;
    tvr::config::LogFileNames logFiles;
    tvr::testing::ScriptedDialogs dialogs;
};

TEST_F(SettingsProcessingHost, ReadsTheLiveSettingsAsTheyAreAtEachCall) {
    tvr::platform::Registry registry(dir / "registry.reg");
    tvr::config::TLogons logons(window.connections, window.flags, window.worker, display, live,
                                registry, dialogs, logFiles);
    tvr::config::TSettingsProcessingHost host(logons, live, registry);
    live.edit([](auto& s) {
        s.IsDumLoadBD = false;
        s.ComboDump = "sales";
        s.EditPathLoad = "/load";
        s.IsResumeChain = true;
    });
    const auto start = host.StartSettings();
    EXPECT_FALSE(start.IsDumLoadBD);
    EXPECT_TRUE(start.IsResumeChain);
    EXPECT_EQ(start.ComboDump, "sales");
    EXPECT_EQ(start.EditPathLoad, "/load");
    live.edit([](auto& s) {
        s.IsInterval = true;
        s.EditInterval = "00:05";
        s.IsClearLog = true;
        s.IsFullOnBreak = true;
        s.IsCheckHeader = true;
        s.EditLagWarning = "0";
        s.EditLagCritical = "90";
        s.EditStallLimit = "soon";  // typed by hand into the file: the default holds
    });
    const auto pass = host.PassSettings();
    EXPECT_TRUE(pass.IsInterval && pass.IsClearLog && pass.IsFullOnBreak && pass.IsCheckHeader);
    EXPECT_EQ(pass.EditInterval, "00:05");
    EXPECT_EQ(pass.LagWarningMinutes, 0);
    EXPECT_EQ(pass.LagCriticalMinutes, 90);
    EXPECT_EQ(pass.StallLimitMinutes, tvr::engine::TPassSettings{}.StallLimitMinutes);
}

TEST_F(SettingsProcessingHost, AnUnwritableRegistryIsReportedAfterTheFoldersAreMade) {
    std::ofstream(dir / "plain") << "a file, not a folder";
    tvr::platform::Registry registry(dir / "plain" / "registry.reg");
    tvr::config::TLogons logons(window.connections, window.flags, window.worker, display, live,
                                registry, dialogs, logFiles);
    tvr::config::TSettingsProcessingHost host(logons, live, registry);
    live.edit([&](auto& s) {
        s.EditPathDump = (dir / "dumps").string();
        s.EditPathLoad = (dir / "loads" / "deep").string();
    });
    EXPECT_THROW(host.SaveSettings(), tvr::platform::RegistryError);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "dumps"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "loads" / "deep"));
    // An empty folder is the error that counts.
    live.edit([](auto& s) { s.EditPathLoad.clear(); });
    EXPECT_THROW(host.SaveSettings(), tvr::config::SettingsError);
}

}  // namespace
