// The start of processing against two emulators: the logons it runs, the settings save and its
// two kinds of failure, the Backup Server checks, a start while processing, a connection that
// failed, and an interval text that is no time of day.
#include "client/Events.h"
#include "engine/ReserveChecks.h"
#include "platform/RegistryError.h"
#include "tests/engine/ProcessingFixture.h"

#include <csignal>

using namespace tvr::engine;
using namespace tvr::engine::testing;
using tvr::platform::PromptButtons;
using tvr::platform::PromptIcon;
using tvr::platform::PromptReply;
using tvr::testing::RecordingDisplay;

namespace {

using Section = RecordingDisplay::Section;

class ProcessingStart : public ProcessingFixture {
protected:
    // The window as it was created: nothing running, Start and Settings available.
    void expectCreationState() {
        EXPECT_FALSE(window.flags.FProcessing);
        EXPECT_EQ(display.section(ToolbarSection::Start), (Section{ToolbarImage::StartOn, true}));
        EXPECT_EQ(display.section(ToolbarSection::Stop), (Section{ToolbarImage::StopOff, false}));
        EXPECT_EQ(display.section(ToolbarSection::Settings),
                  (Section{ToolbarImage::SettingsOn, true}));
        EXPECT_TRUE(display.startEnabled());
        EXPECT_FALSE(display.activityBusy());
        EXPECT_EQ(display.panelText(PanelState), "Not active...");
    }
    // Starts, waits for `n` passes of the run and stops it.
    void runPassesAndStop(int n) {
        newRun();
        control.StartProcessing();
        ASSERT_TRUE(window.worker);
        ASSERT_TRUE(waitFor([&] { return runPasses() >= n; }));
        stopNow();
        ASSERT_TRUE(waitUntilEnded());
    }
    static int count(const std::vector<std::string>& commands, const std::string& command) {
        return countOf(commands, command);
    }
};

TEST_F(ProcessingStart, LogsOnWhereNeededThenSavesChecksAndStartsTheWorker) {
    startServers();
    window.connections.AutoLogon = true;
    control.StartProcessing();
    ASSERT_TRUE(waitForPasses(1));
    // The reserve logon shows its dialog whatever the main logon did.
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"LogonMain(AutoLogon=true)",
                                        "LogonReserve(AutoLogon=false)", "SaveSettings()"}));
    // The check ran on each server before its first pass; the reserve was asked whether its
    // database is online before a full load could replace it.
    for (const auto& commands : {mainCommands(), reserveCommands()}) {
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(commands[0], "sp_helpserver");
        EXPECT_EQ(commands[1], "sp_configure 'xp_cmdshell context'");
    }
    EXPECT_EQ(mainCommands()[2], "use master");
    EXPECT_EQ(reserveCommands()[2], databaseStateStatement("sales_copy"));
    EXPECT_TRUE(window.flags.FProcessing);
    EXPECT_EQ(display.section(ToolbarSection::Start), (Section{ToolbarImage::StartOff, false}));
    EXPECT_EQ(display.section(ToolbarSection::Stop), (Section{ToolbarImage::StopOn, true}));
    EXPECT_EQ(display.section(ToolbarSection::Settings),
              (Section{ToolbarImage::SettingsOff, false}));
    EXPECT_TRUE(display.activityBusy());
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(ProcessingStart, ACancelledMainLogonStillAsksForTheReserveAndStartsNothing) {
    startServers();
    host.onLogonMain = nullptr;
    control.StartProcessing();
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"LogonMain(AutoLogon=false)",
                                                      "LogonReserve(AutoLogon=false)"}));
    EXPECT_FALSE(window.flags.FProcessing);
    EXPECT_FALSE(window.worker);
    EXPECT_TRUE(display.calls().empty());
    EXPECT_TRUE(mainCommands().empty());
}

TEST_F(ProcessingStart, AStartWhileProcessingDoesNothing) {
    startServers();
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    control.StartProcessing();
    ASSERT_TRUE(waitForPasses(1));
    const TDumpLoadThread* worker = window.worker.get();
    const auto hostCalls = host.calls();
    control.StartProcessing();
    ASSERT_TRUE(waitForPasses(3));
    EXPECT_EQ(window.worker.get(), worker);
    EXPECT_EQ(host.calls(), hostCalls);
    EXPECT_EQ(count(mainCommands(), "sp_helpserver"), 1);
    EXPECT_TRUE(prompts.calls().empty());
}

TEST_F(ProcessingStart, TheBackupServerEntryIsFoundInAnyCaseAndAMissingOneIsToldPerServer) {
    // The entry as each server spells it; nullptr: the server has none.
    struct Case {
        const char* mainEntry;
        const char* reserveEntry;
    };
    auto options = [](const char* entry) {
        return entry ? std::vector<std::string>{"--backup-entry", entry}
                     : std::vector<std::string>{"--no-backup-entry"};
    };
    // Records, for each box, whether the reserve had been asked yet.
    class OrderedPrompts final : public tvr::platform::Prompts {
    public:
        explicit OrderedPrompts(std::function<bool()> askedYet)
            : reserveAskedNow_(std::move(askedYet)) {}
        tvr::platform::PromptReply messageBox(tvr::platform::PromptOwner, const std::string& text,
                                              const std::string& caption, PromptButtons buttons,
                                              PromptIcon icon) override {
            EXPECT_EQ(text, "BACKUP server not found");
            EXPECT_EQ(caption, "Error");
            EXPECT_EQ(buttons, PromptButtons::Ok);
            EXPECT_EQ(icon, PromptIcon::None);
            reserveAsked.push_back(reserveAskedNow_());
            return PromptReply::Ok;
        }
        bool askYesNo(tvr::platform::PromptOwner, const std::string&, const std::string&) override {
            return false;
        }
        void beep() override {}
        std::vector<bool> reserveAsked;

    private:
        std::function<bool()> reserveAskedNow_;
    };
    const Case cases[] = {{nullptr, "SYB_BACKUP"},
                          {"syb_backup", nullptr},
                          {nullptr, nullptr},
                          {"Syb_Backup", "syb_backup"}};
    for (const Case& c : cases) {
        const bool mainHasEntry = c.mainEntry != nullptr;
        const bool reserveHasEntry = c.reserveEntry != nullptr;
        SCOPED_TRACE(std::string(c.mainEntry ? c.mainEntry : "-") + " " +
                     (c.reserveEntry ? c.reserveEntry : "-"));
        startServers(options(c.mainEntry), options(c.reserveEntry));
        OrderedPrompts boxes([this] { return countOf(reserveCommands(), "sp_helpserver") > 0; });
        tvr::platform::Prompts* previous = tvr::platform::setPrompts(&boxes);
        runPassesAndStop(1);
        tvr::platform::setPrompts(previous);

        std::vector<bool> expected;
        if (!mainHasEntry) expected.push_back(false);
        if (!reserveHasEntry) expected.push_back(true);
        EXPECT_EQ(boxes.reserveAsked, expected);
        // A server without the entry is asked nothing more; the other one is.
        EXPECT_EQ(count(mainCommands(), "sp_configure 'xp_cmdshell context'"),
                  mainHasEntry ? 1 : 0);
        EXPECT_EQ(count(reserveCommands(), "sp_configure 'xp_cmdshell context'"),
                  reserveHasEntry ? 1 : 0);
        // A dump that failed (no Backup Server on the main) is not loaded.
        EXPECT_EQ(spTvrCalls(reserveCommands()).size(),
                  mainHasEntry ? spTvrCalls(mainCommands()).size() : 0u);

        dropServers();
    }
}

TEST_F(ProcessingStart, RunValueZeroHasTheServerStartItsBackupServer) {
    struct Case {
        std::string runValue;
        bool started;
    };
    const Case cases[] = {{"0", true}, {"1", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runValue);
        startServers({"--backup-server", "stopped", "--backup-name", "SRV1_BS",
                      "--xp-cmdshell-context", c.runValue});
        host.setStartSettings(
            TStartSettings{true, "sales", dumps.string(), "sales_copy", loads.string()});
        runPassesAndStop(1);

        std::vector<std::string> check = {"sp_helpserver", "sp_configure 'xp_cmdshell context'"};
        if (c.started) check.push_back("xp_cmdshell 'net start \"Sybase BCKServer _ SRV1_BS\"'");
        const auto commands = mainCommands();
        EXPECT_EQ(std::vector<std::string>(commands.begin(),
                                           commands.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                  check.size(), commands.size()))),
                  check);
        EXPECT_EQ(commands.at(check.size()), "use master");
        // With its Backup Server running the main server could dump; without, 7205.
        EXPECT_EQ(fs::exists(dumps / "sales06.12.2026140512.db"), c.started);
        EXPECT_EQ(fileText(errorLogFile()).find("number 7205") != std::string::npos, !c.started);
        EXPECT_TRUE(prompts.boxes().empty());

        dropServers();
    }
}

TEST_F(ProcessingStart, ARunValueThatCannotBeReadStartsNothingAndTheStartGoesOn) {
    // The server goes away between its server list and its configuration value, so the value
    // never arrives.
    startServers({"--xp-cmdshell-context", "0"});
    window.flags.UseReserve = false;
    class KillAfterServerList final : public tvr::client::TEventReceiver {
    public:
        explicit KillAfterServerList(tvr::testing::Emulator& server) : server_(server) {}
        void ReceiveEvent(const tvr::client::TEventCT& event) override {
            if (event.Code == tvr::client::EventHeadings &&
                event.Text.starts_with("name\nnetwork_name\n"))
                listed_ = true;
            if (event.Code == tvr::client::EventResultsEnd && listed_ && server_.running())
                server_.signal(SIGKILL);
        }

    private:
        tvr::testing::Emulator& server_;
        bool listed_ = false;
    } killer(*main);
    tvr::client::TEventReceiver* previous = tvr::client::setEventReceiver(&killer);
    control.StartProcessing();
    tvr::client::setEventReceiver(previous);

    ASSERT_FALSE(main->running());
    EXPECT_TRUE(prompts.boxes().empty());
    ASSERT_TRUE(window.worker);
    // Processing runs on: the lost connection is opened again before the next pass, a try
    // after each back-off, until the stop.
    ASSERT_TRUE(waitFor([&] {
        return fileText(logFile()).find("Connecting to TVRMAIN again, try 2") != std::string::npos;
    }));
    EXPECT_NE(fileText(errorLogFile()).find("Connection to TVRMAIN lost"), std::string::npos);
    EXPECT_EQ(fileText(logFile()).find("xp_cmdshell"), std::string::npos);
    stopNow();
    ASSERT_TRUE(waitUntilEnded());
}

TEST_F(ProcessingStart, AConnectionTheServerDroppedIsOpenedAgainAndTheNextStartNeedsNoLogon) {
    // "drop": the server closes the connection half way through the first dump or load.
    for (const char* server : {"TVRMAIN", "TVRRESERVE"}) {
        SCOPED_TRACE(server);
        const std::vector<std::string> drop = {"--fault", "drop"};
        startServers(server == std::string(kMain) ? drop : std::vector<std::string>{},
                     server == std::string(kMain) ? std::vector<std::string>{} : drop);
        // The worker opens it again before its second pass.
        const std::string back =
            std::string("Connection to ") + server + " opened again after 1 try";
        newRun();
        control.StartProcessing();
        ASSERT_TRUE(
            waitFor([&] { return fileText(errorLogFile()).find(back) != std::string::npos; }));
        stopNow();
        ASSERT_TRUE(waitUntilEnded());
        EXPECT_FALSE(window.connections.MainConnection->Failed());
        EXPECT_FALSE(window.connections.ReserveConnection->Failed());

        const std::size_t before = host.calls().size();
        runPassesAndStop(2);
        std::vector<std::string> second = host.calls();
        second.erase(second.begin(), second.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(second, (std::vector<std::string>{"SaveSettings()"}));
        EXPECT_TRUE(fs::exists(dumps / "sales06.12.2026140512.db"));

        dropServers();
    }
}

TEST_F(ProcessingStart, ASaveThatFailsStopsTheStartButARegistryWriteOnlyWarns) {
    struct Case {
        std::exception_ptr failure;
        std::string box;
        bool starts;
    };
    const Case cases[] = {
        {std::make_exception_ptr(std::runtime_error("Unable to create directory")),
         "Unable to create directory.", false},
        {std::make_exception_ptr(tvr::platform::RegistryError(
             dir / "registry.reg", 0, "Cannot replace " + (dir / "registry.reg").string())),
         "Cannot replace " + (dir / "registry.reg").string() + ".", true},
    };
    startServers();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        prompts.clear();
        host.failSaveWith(c.failure);
        newRun();
        control.StartProcessing();
        const auto boxes = prompts.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.box);
        EXPECT_EQ(boxes[0].caption, "Travenor(TVR)");
        EXPECT_EQ(boxes[0].buttons, PromptButtons::Ok);
        EXPECT_EQ(boxes[0].icon, PromptIcon::Error);
        if (c.starts) {
            ASSERT_TRUE(waitForPasses(1));
            stopNow();
            ASSERT_TRUE(waitUntilEnded());
        } else {
            EXPECT_FALSE(window.worker);
            expectCreationState();
            EXPECT_EQ(count(mainCommands(), "sp_helpserver"), 0);
        }
        // Whatever happened, the next start works.
        host.failSaveWith(nullptr);
        runPassesAndStop(1);
    }
}

TEST_F(ProcessingStart, ADatabaseNameLongerThanTheProcedureTakesIsRefusedAtStart) {
    startServers();
    const std::string longName(31, 'd');
    for (const bool onReserve : {false, true}) {
        SCOPED_TRACE(onReserve);
        prompts.clear();
        host.setStartSettings(TStartSettings{true, onReserve ? "sales" : longName, dumps.string(),
                                             onReserve ? longName : "sales_copy", loads.string()});
        control.StartProcessing();
        const auto boxes = prompts.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Database name \"" + longName +
                                     "\" has 31 characters; sp_TVR takes at most 30. Processing "
                                     "is not started.");
        EXPECT_EQ(boxes[0].icon, PromptIcon::Error);
        EXPECT_FALSE(window.worker);
        expectCreationState();
        EXPECT_EQ(count(mainCommands(), "sp_helpserver"), 0);
    }
}

TEST_F(ProcessingStart, AnIntervalThatIsNoTimeOfDayEndsProcessingWithAnError) {
    startServers();
    for (const std::string text : {"abc", "24:00", "12:60", "", "1:2:3:4", "12.30"}) {
        SCOPED_TRACE(text);
        newRun();
        host.setPassSettings(TPassSettings{false, true, text});
        control.StartProcessing();
        ASSERT_TRUE(waitUntilEnded());
        EXPECT_EQ(runPasses(), 1);
        EXPECT_EQ(sleeps, 0);
        expectCreationState();
        const std::string entry =
            "Interval \"" + text + "\" is not a time of day (hh:mm); processing stopped";
        for (const std::string& log : {fileText(logFile()), fileText(errorLogFile())})
            EXPECT_NE(log.find("$Err$Error: Time: "), std::string::npos);
        EXPECT_NE(fileText(logFile()).find(entry), std::string::npos);
        EXPECT_NE(fileText(errorLogFile()).find(entry), std::string::npos);
        for (const auto* view : {&activityView, &errorView}) {
            const auto lines = view->texts();
            EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& line) { return line.ends_with(entry); }),
                      lines.end());
        }
    }
    // A good interval works again.
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    runPassesAndStop(2);
    std::lock_guard lock(sleepMutex);
    EXPECT_EQ(sleepsInPass[1], 1);
}

}  // namespace
