#include "tests/support/LogonTestSupport.h"

#include "client/RunQuery.h"
#include "config/CommandLine.h"
#include "config/SettingsProcessingHost.h"
#include "engine/DumpLoadThread.h"
#include "engine/ProcedureScript.h"
#include "engine/ProcessingControl.h"
#include "platform/ComputerName.h"
#include "tests/support/ScriptedProcessingHost.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include "config/SettingsKeys.h"

using tvr::config::ServerRole;
using tvr::config::TLogons;
using tvr::testing::kMainPassword;
using tvr::testing::kReservePassword;
using tvr::testing::LogonAnswer;
using Names = std::vector<std::string>;

namespace {

// What the settings dialog would show after the logons.
class RecordingForm final : public tvr::config::SettingsFormView {
public:
    void SetDatabaseList(ServerRole role, const Names& names) override {
        (role == ServerRole::Main ? mainDatabases : reserveDatabases) = names;
    }
    void ShowServerName(ServerRole role, const std::string& name) override {
        (role == ServerRole::Main ? mainServer : reserveServer) = name;
    }
    Names mainDatabases, reserveDatabases;
    std::string mainServer, reserveServer;
};

class Logons : public tvr::testing::TwoServers {
protected:
    void SetUp() override {
        TwoServers::SetUp();
        logons.SetSettingsForm(&form);
    }
    // The first column of a query's single row, on `connection`.
    static std::string scalar(tvr::client::TSybaseConnect& connection, const std::string& sql) {
        connection.Execute(sql);
        const Names values = tvr::config::databaseList(connection.ColTexts());
        return values.empty() ? "" : values.front();
    }

    tvr::testing::ScriptedDialogs dialogs;
    RecordingForm form;
    TLogons logons{window.connections, window.flags, window.worker, display, live,
                   registry,           dialogs,      logFiles};
};

TEST_F(Logons, MainLogonFillsPanelsListAndNamesAndRemembersNamesButNoPassword) {
    live.edit([](auto& s) { s.ComboDump = "sales"; });
    display.SetStatusText(6, "stale reserve");
    dialogs.answer({true, "TVRMAIN", "sa", kMainPassword});
    logons.LogonMain();

    ASSERT_TRUE(window.connections.MainConnected);
    ASSERT_TRUE(window.connections.MainConnection);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Main Server Logon");
    EXPECT_EQ(display.panelText(2), "TVRMAIN");
    EXPECT_EQ(display.panelText(3), "sales");
    EXPECT_EQ(display.panelText(4), "sa");
    EXPECT_EQ(display.panelText(6), "");  // no reserve logon in place
    EXPECT_EQ(display.count("SetInfoCell(0, 1, TVRMAIN)"), 1);
    EXPECT_EQ(form.mainDatabases,
              (Names{"master", "model", "sales", "sybsystemdb", "sybsystemprocs", "tempdb"}));
    EXPECT_EQ(form.mainServer, "TVRMAIN");
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::MainServerName), "TVRMAIN");
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::ComboDump), "sales");

    std::string remembered;
    registry.readText(tvr::config::kSettingsBaseKey, "ServerName", remembered);
    EXPECT_EQ(remembered, "TVRMAIN");
    registry.readText(tvr::config::kSettingsBaseKey, "UserName", remembered);
    EXPECT_EQ(remembered, "sa");
    // The server sees the program's name and the workstation's.
    EXPECT_EQ(scalar(*window.connections.MainConnection, "select app_name()"), "Ulmaris");
    EXPECT_EQ(scalar(*window.connections.MainConnection, "select host_name()"),
              tvr::platform::computerName());
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(Logons, WrongPasswordBringsTheDialogBackWithNamesKeptAndTheRefusalLogged) {
    dialogs.answer({true, "TVRMAIN", "sa", "wrong"});
    logons.LogonMain();  // then Cancel

    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].server, "TVRMAIN");
    EXPECT_EQ(dialogs.shown[1].user, "sa");
    EXPECT_EQ(dialogs.shown[1].password, "wrong");  // the field as typed
    EXPECT_FALSE(window.connections.MainConnected);
    EXPECT_FALSE(window.connections.MainConnection);
    EXPECT_NE(errors().find("Login failed"), std::string::npos) << errors();
    // The only box is the message handler's for the refused login; the logon adds none.
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].text, "Unable establish connection");
}

TEST_F(Logons, ReserveLogonPrefillsRememberedNamesAndFillsTheReserveSide) {
    rememberNames();
    live.edit([](auto& s) { s.ComboLoad = "sales_copy"; });
    dialogs.answer({true, "TVRRES", "sa", kReservePassword});
    logons.LogonReserve();

    ASSERT_TRUE(window.connections.ReserveConnected);
    EXPECT_EQ(dialogs.shown[0].caption, "Reserve Server Logon");
    EXPECT_EQ(dialogs.shown[0].server, "TVRRES");
    EXPECT_EQ(dialogs.shown[0].user, "sa");
    EXPECT_EQ(display.panelText(6), "TVRRES");
    EXPECT_EQ(display.panelText(7), "sales_copy");
    EXPECT_EQ(display.panelText(8), "sa");
    EXPECT_EQ(form.reserveServer, "TVRRES");
    EXPECT_NE(std::find(form.reserveDatabases.begin(), form.reserveDatabases.end(), "sales_copy"),
              form.reserveDatabases.end());
    EXPECT_EQ(live.read(&tvr::config::TDumpLoadSettings::ReservServerName), "TVRRES");
}

TEST_F(Logons, AutomaticStartLogsOnToBothWithoutADialogAndStartsProcessing) {
    rememberNames();
    window.flags.UseReserve = true;
    bool started = false;
    logons.SetAutomaticStart([&] {
        started = true;
        EXPECT_TRUE(window.connections.MainConnected);
        EXPECT_TRUE(window.connections.ReserveConnected);
        EXPECT_FALSE(form.mainDatabases.empty());  // refreshed before the worker exists
        window.flags.FProcessing = true;           // as the start of processing leaves it
    });
    logons.StartupLogon(
        {std::string("P1:") + kMainPassword, std::string("p2:") + kReservePassword, "-a"});

    EXPECT_TRUE(started);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(window.connections.LogonPending);
    EXPECT_TRUE(window.connections.AutoLogon);
    EXPECT_TRUE(logons.MainWindowHidden());
    EXPECT_EQ(display.panelText(2), "TVRMAIN");
    EXPECT_EQ(display.panelText(4), "sa");
    EXPECT_EQ(display.panelText(6), "TVRRES");
    // Program start's second refresh leaves the connection to the worker.
    const std::string before = mainServer->traceText();
    logons.RefreshMainDatabases();
    EXPECT_EQ(mainServer->traceText(), before);
}

TEST_F(Logons, StartupLogonCases) {
    struct Case {
        const char* what;
        std::vector<std::string> params;
        std::vector<LogonAnswer> answers;
        std::size_t dialogs;
        bool pending;
    };
    const std::string p1 = std::string("P1:") + kMainPassword;
    const Case cases[] = {
        {"wrong P1: the dialog after the failed attempt, then Cancel",
         {"P1:bad", "-A"},
         {},
         1,
         true},
        {"four parameters: the dialog at once",
         {p1, "a", "b", "c"},
         {{true, "TVRMAIN", "sa", kMainPassword}},
         1,
         false},
        {"no P1: the dialog at once", {"-A"}, {{true, "TVRMAIN", "sa", kMainPassword}}, 1, false},
        {"an exact P1: logs on with an empty password", {"P1:"}, {}, 1, true},
    };
    rememberNames();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.shown.clear();
        for (const LogonAnswer& a : c.answers) dialogs.answer(a);
        bool started = false;
        logons.SetAutomaticStart([&] { started = true; });
        logons.StartupLogon(c.params);
        EXPECT_EQ(dialogs.shown.size(), c.dialogs);
        EXPECT_EQ(window.connections.LogonPending, c.pending);
        EXPECT_EQ(static_cast<bool>(window.connections.MainConnection), !c.pending);
        EXPECT_FALSE(started);
        EXPECT_FALSE(window.connections.AutoLogon);
    }
    EXPECT_NE(errors().find("Login failed"), std::string::npos);
}

TEST_F(Logons, AutomaticLogonWithAnUnreadableServerListLogsItAndUsesTheRememberedNames) {
    rememberNames();
    std::filesystem::remove_all(sybase / "ini");
    window.flags.UseReserve = false;
    logons.StartupLogon({std::string("P1:") + kMainPassword});
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(window.connections.MainConnected);
    EXPECT_NE(errors().find(";  Cannot open file \"" + (sybase / "ini" / "sql.ini").string() +
                            "\". No such file or directory"),
              std::string::npos)
        << errors();
    EXPECT_TRUE(prompts.boxes().empty());
}

}  // namespace

// The whole unattended start: the logons from the command line, the settings saved, the
// Backup Server checks and one pass of the worker, through the real start of processing.
TEST_F(Logons, AutomaticStartRunsAPassThroughTheStartOfProcessing) {
    rememberNames();
    for (auto [server, password] :
         {std::pair{mainServer, kMainPassword}, std::pair{reserveServer, kReservePassword}}) {
        tvr::client::TSybaseConnect c(server->name(), "sa", password, "", "");
        ASSERT_EQ(c.Connect(), CS_SUCCEED);
        tvr::client::TRunQuery(c).RunInstallScript(std::string(tvr::engine::SpTvrInstallScript));
    }
    const std::string dumps = (dir.path() / "dumps").string();
    live.edit([&](auto& s) {
        s.ComboDump = "sales";
        s.ComboLoad = "sales_copy";
        s.EditPathDump = dumps;
        s.EditPathLoad = dumps;
    });
    window.flags.UseReserve = true;
    tvr::config::TSettingsProcessingHost host(logons, live, registry);
    tvr::engine::TProcessingControl control(window.connections, window.flags, window.worker,
                                            display, host, {});
    logons.SetAutomaticStart([&] { control.StartProcessing(); });
    logons.StartupLogon(
        {std::string("P1:") + kMainPassword, std::string("P2:") + kReservePassword, "-A"});

    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_TRUE(window.worker);
    // One pass done (the worker sleeps after it), then stopped.
    EXPECT_TRUE(display.waitFor([&] { return display.count("SetProcessState(2)") >= 1; }));
    control.RequestStop();
    EXPECT_TRUE(display.waitFor([&] { return window.worker->Finished(); }));
    window.worker.StopAndFree();
    EXPECT_TRUE(prompts.boxes().empty()) << prompts.boxes()[0].text;
    bool dumped = false;
    for (const auto& entry : std::filesystem::directory_iterator(dumps))
        dumped |= entry.path().filename().string().starts_with("sales");
    EXPECT_TRUE(dumped);
}

namespace {

// A display that holds the worker at the start of its first pass until released.
class HoldingDisplay final : public tvr::engine::TProcessDisplay {
public:
    void SetProcessState(int state) override {
        if (state != tvr::engine::StateProcessing) return;
        std::unique_lock lock(mutex_);
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    void waitUntilHeld() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    void RefreshTray() override {}
    void EnableStart(bool) override {}
    void SetToolbarSection(tvr::engine::ToolbarSection, int, bool) override {}
    void SetActivityBusy(bool) override {}
    void RequestClose() override {}
    void SetStatusText(int, const std::string&) override {}
    void SetInfoRowCount(int) override {}
    void SetInfoRow(int, const tvr::engine::InfoRow&) override {}
    void SetInfoCell(int, int, const std::string&) override {}
    void EnableTrayMain(bool) override {}

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
};

}  // namespace

TEST_F(Logons, ResetReserveInfoLeavesAWorkerInsideItsPassAndFreesItOnceItHasEnded) {
    HoldingDisplay holding;
    tvr::testing::ScriptedProcessingHost host(window.connections);
    window.worker.Take(std::make_unique<tvr::engine::TDumpLoadThread>(window.flags, holding, host,
                                                                      tvr::client::LogViews{}));
    window.worker->Resume();
    holding.waitUntilHeld();
    window.flags.UseReserve = true;
    window.connections.ReserveConnected = false;

    logons.ResetReserveInfo();  // freeing it now would wait for the held pass
    EXPECT_NE(window.worker.get(), nullptr);

    window.worker->StopRequested = true;
    holding.release();
    while (!window.worker.Ended()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    logons.ResetReserveInfo();
    EXPECT_EQ(window.worker.get(), nullptr);
}
