// The worker's passes against two emulators: pass types and file names, the interval, the
// stops, the deletion of the dump file, the reserve kept in step, Exit during a dump.
#include "tests/engine/ProcessingFixture.h"
#include "tests/support/StandbyCompare.h"

#include <csignal>

using namespace tvr::engine;
using namespace tvr::engine::testing;
using tvr::platform::PromptReply;
using tvr::testing::RecordingDisplay;

namespace {

using Section = RecordingDisplay::Section;

class Worker : public ProcessingFixture {
protected:
    void stopWithYes() {
        prompts.scriptReply(PromptReply::Yes);
        ASSERT_TRUE(control.ConfirmStop(StopQuestion));
    }
    // The commands of the passes only: "use master" and the sp_TVR calls.
    static std::vector<std::string> passCommands(const std::vector<std::string>& commands) {
        std::vector<std::string> out;
        for (const std::string& c : commands)
            if (c == "use master" || c.starts_with("execute sp_TVR ")) out.push_back(c);
        return out;
    }
    // The window as the worker leaves it at its end.
    void expectIdleWindow() {
        EXPECT_FALSE(window.flags.FProcessing);
        EXPECT_FALSE(window.flags.FWorkerRunning);
        EXPECT_EQ(display.panelText(PanelState), "Not active...");
        EXPECT_EQ(display.section(ToolbarSection::Start), (Section{ToolbarImage::StartOn, true}));
        EXPECT_EQ(display.section(ToolbarSection::Settings),
                  (Section{ToolbarImage::SettingsOn, true}));
        EXPECT_TRUE(display.startEnabled());
        EXPECT_FALSE(display.activityBusy());
    }
    // A file being written in the dump folder: the slowed dump of the first pass is under way.
    bool waitForDumpUnderWay() {
        return waitFor([&] { return !fs::is_empty(dumps); });
    }
};

TEST_F(Worker, PassTypesFollowIsDumLoadBDAndTheReserveKeepsInStep) {
    struct Case {
        bool isDumLoadBD;
        std::vector<std::pair<int, std::string>> calls;  // type and file of each pass
    };
    const Case cases[] = {
        {true,
         {{0, "sales06.12.2026140512.db"},
          {1, "sales06.12.2026140513.tr"},
          {1, "sales06.12.2026140514.tr"},
          {1, "sales06.12.2026140515.tr"}}},
        {false,
         {{1, "sales06.12.2026140512.tr"},
          {1, "sales06.12.2026140513.tr"},
          {1, "sales06.12.2026140514.tr"},
          {1, "sales06.12.2026140515.tr"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.isDumLoadBD);
        startServers();
        newRun();
        host.setStartSettings(
            TStartSettings{c.isDumLoadBD, "sales", dumps.string(), "sales_copy", loads.string()});
        host.setPassSettings(TPassSettings{false, true, "00:00:01"});
        // Between passes a client of the main server adds a row; after the fourth pass the
        // run is stopped instead.
        tvr::client::TSybaseConnect writer(kMain, "sa", "", "", "");
        ASSERT_EQ(main->logOn([&] { return writer.Connect(); }), CS_SUCCEED);
        writer.Execute("use sales");
        // Without a full first pass the log can be dumped only after a database dump.
        // The reserve starts its load sequence from the same dump, by hand.
        if (!c.isDumLoadBD) {
            writer.Execute("dump database sales to \"" + (dir / "seed.db").string() + "\"");
            tvr::client::TSybaseConnect seeder(kReserve, "sa", "", "", "");
            ASSERT_EQ(reserve->logOn([&] { return seeder.Connect(); }), CS_SUCCEED);
            seeder.Execute("load database sales_copy from \"" + (dir / "seed.db").string() + "\"");
        }
        int added = 3;
        onSleep = [&] {
            if (runPasses() >= 4) return stopNow();
            writer.Execute("insert into orders values (" + std::to_string(++added) + ", 'more')");
        };
        control.StartProcessing();
        ASSERT_TRUE(waitUntilEnded());
        onSleep = nullptr;

        EXPECT_EQ(spTvrCalls(mainCommands()), c.calls);
        EXPECT_EQ(spTvrCalls(reserveCommands()), c.calls);
        // Each call follows its own "use master" on both servers.
        for (const auto& commands : {mainCommands(), reserveCommands()}) {
            const std::vector<std::string> sent = passCommands(commands);
            ASSERT_EQ(sent.size(), 8u);
            for (std::size_t i = 0; i < sent.size(); i += 2) EXPECT_EQ(sent[i], "use master");
        }
        // The folders and database names of each server's call.
        EXPECT_NE(passCommands(mainCommands())[1].find("@database_name=\"sales\", @pr_dump=1, "
                                                       "@pr_load=0, @pathname=\"" +
                                                       dumps.string() + "/\""),
                  std::string::npos);
        EXPECT_NE(passCommands(reserveCommands())[1].find("@database_name=\"sales_copy\", "
                                                          "@pr_dump=0, @pr_load=1, @pathname=\"" +
                                                          loads.string() + "/\""),
                  std::string::npos);
        expectIdleWindow();

        if (c.isDumLoadBD) {
            // The reserve, brought online, holds what the main held at its last dump.
            tvr::testing::expectReserveEqualsMain(kMain, kReserve, 6, 6);
        }
        dropServers();
    }
}

TEST_F(Worker, TheIntervalIsAWaitInWholeSecondsAfterEachPass) {
    struct Case {
        bool isInterval;
        std::string text;
        int sleeps;
    };
    const Case cases[] = {
        {false, "01:30", 0},    {true, "00:00", 0},   {true, "01:30", 5400},
        {true, "23:59", 86340}, {true, "0:00:07", 7}, {true, " 00:02 ", 120},
    };
    startServers();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        newRun();
        const std::size_t before = display.panelHistory().size();
        host.setPassSettings(TPassSettings{false, c.isInterval, c.text});
        control.StartProcessing();
        ASSERT_TRUE(waitFor([&] { return runPasses() >= 3; }));
        stopWithYes();
        ASSERT_TRUE(waitUntilEnded());
        {
            std::lock_guard lock(sleepMutex);
            EXPECT_EQ(sleepsInPass[1], c.sleeps);
            EXPECT_EQ(sleepsInPass[2], c.sleeps);
        }
        std::vector<std::string> history = display.panelHistory();
        history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(before));
        history.resize(4);
        EXPECT_EQ(history, (std::vector<std::string>{"Processing...", "Sleeping...",
                                                     "Processing...", "Sleeping..."}));
        expectIdleWindow();
    }
}

TEST_F(Worker, AStopDuringTheWaitEndsItWithinASecond) {
    startServers();
    realSleep = true;
    host.setPassSettings(TPassSettings{false, true, "01:30"});
    control.StartProcessing();
    ASSERT_TRUE(waitFor([&] { return sleeps >= 2; }));

    // Answered No, nothing changes and the worker goes on waiting.
    const std::size_t callsBefore = display.callCount();
    EXPECT_FALSE(control.ConfirmStop(StopQuestion));
    EXPECT_TRUE(window.flags.FProcessing);
    EXPECT_EQ(display.callCount(), callsBefore);
    EXPECT_EQ(display.section(ToolbarSection::Stop), (Section{ToolbarImage::StopOn, true}));

    stopWithYes();
    const int sleepsAtStop = sleeps;
    EXPECT_EQ(display.panelText(PanelState), "Waiting...");
    EXPECT_EQ(display.section(ToolbarSection::Stop), (Section{ToolbarImage::StopOff, false}));
    EXPECT_EQ(display.section(ToolbarSection::Start), (Section{ToolbarImage::StartOff, false}));
    ASSERT_TRUE(waitUntilEnded());
    EXPECT_LE(sleeps - sleepsAtStop, 1);  // at most the one-second step under way
    EXPECT_EQ(runPasses(), 1);
    expectIdleWindow();
    const auto questions = prompts.boxes();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].text, "Stop process?");
    EXPECT_EQ(questions[0].caption, "Message");
    EXPECT_EQ(questions[0].buttons, tvr::platform::PromptButtons::YesNo);
}

TEST_F(Worker, AStopDuringADumpFinishesThePassWithoutAWait) {
    startServers({"--io-rate", "0.004"});  // about 4 KB a second: the full dump takes seconds
    host.setPassSettings(TPassSettings{true, true, "01:30"});
    control.StartProcessing();
    ASSERT_TRUE(waitForDumpUnderWay());
    stopWithYes();
    // A start before the stopped worker has ended does nothing rather than wait for its dump.
    const auto hostCalls = host.calls();
    const TDumpLoadThread* worker = window.worker.get();
    control.StartProcessing();
    EXPECT_EQ(host.calls(), hostCalls);
    EXPECT_EQ(window.worker.get(), worker);
    ASSERT_TRUE(waitUntilEnded());

    EXPECT_EQ(display.panelHistory(), (std::vector<std::string>{"Processing...", "Waiting...",
                                                                "Sleeping...", "Not active..."}));
    EXPECT_EQ(spTvrCalls(reserveCommands()).size(), 1u);  // the load followed the dump
    EXPECT_EQ(sleeps, 0);
    EXPECT_EQ(deleted, (std::vector<std::string>{(loads / "sales06.12.2026140512.db").string()}));
    EXPECT_TRUE(fs::is_empty(dumps));
    expectIdleWindow();
}

TEST_F(Worker, WithoutTheReserveOnlyTheDumpRunsAndTheLoadFolderFileIsDeleted) {
    startServers();
    window.flags.UseReserve = false;
    host.setPassSettings(TPassSettings{true, false, "00:00"});
    control.StartProcessing();
    ASSERT_TRUE(waitForPasses(2));
    stopNow();
    ASSERT_TRUE(waitUntilEnded());

    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"LogonMain(AutoLogon=false)", "SaveSettings()"}));
    EXPECT_TRUE(reserveCommands().empty());
    const auto calls = spTvrCalls(mainCommands());
    ASSERT_GE(calls.size(), 2u);
    std::vector<std::string> expected;
    for (const auto& [type, file] : calls) expected.push_back((loads / file).string());
    EXPECT_EQ(deleted, expected);
    EXPECT_TRUE(fs::is_empty(dumps));
}

TEST_F(Worker, ExitDuringADumpEndsTheProgramAfterThePass) {
    startServers({"--io-rate", "0.004"});
    host.setPassSettings(TPassSettings{false, true, "01:30"});
    std::vector<TProcessingControl::CloseAction> closes;
    display.setCloseHandler([&] { closes.push_back(control.CloseAfterExit()); });
    control.StartProcessing();
    ASSERT_TRUE(waitForDumpUnderWay());

    prompts.scriptReply(PromptReply::Yes);
    ASSERT_TRUE(control.ConfirmExit());
    EXPECT_TRUE(window.flags.FExitRequested);
    // The window's close while the pass runs is refused; the worker asks again at its end.
    EXPECT_EQ(control.CloseAfterExit(), TProcessingControl::CloseAction::Refuse);
    ASSERT_TRUE(waitUntilEnded());

    EXPECT_EQ(closes, (std::vector{TProcessingControl::CloseAction::Accept}));
    EXPECT_TRUE(window.flags.FCloseFromWorker);
    EXPECT_EQ(display.count("RequestClose()"), 1);
    EXPECT_EQ(spTvrCalls(reserveCommands()).size(), 1u);
    EXPECT_EQ(sleeps, 0);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].text, "Stop process and exit?");
}

TEST_F(Worker, APassThatCannotGoOnEndsProcessingInsteadOfTheThread) {
    // The main server dies and its connection's activity log cannot be opened any more: the
    // library's "Connect failed" entry of the next pass raises, and the run ends with the error
    // shown, instead of leaving the window "processing" with no worker.
    startServers();
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    const std::string badLog = (dir / "gone" / "act.log").string();
    onSleep = [&] {
        if (main->running()) main->signal(SIGKILL);
        window.connections.MainConnection->SetLogFile(badLog);
    };
    control.StartProcessing();
    ASSERT_TRUE(waitUntilEnded());

    EXPECT_EQ(runPasses(), 2);
    expectIdleWindow();
    EXPECT_EQ(display.section(ToolbarSection::Stop), (Section{ToolbarImage::StopOff, false}));
    const std::string shown = "Unable open ErrorLog: " + badLog;
    for (const auto* view : {&activityView, &errorView}) {
        const auto lines = view->texts();
        EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& line) {
                                   return line.find(shown) != std::string::npos;
                               }),
                  lines.end());
    }
    EXPECT_NE(fileText(errorLogFile()).find(shown), std::string::npos);
}

// The end steps, with and without an Exit, when the stop comes before the first pass. No
// server is needed: no pass runs.
TEST(WorkerEnd, AStopBeforeTheFirstPassRunsOnlyTheEndSteps) {
    const std::vector<std::string> endSteps = {
        "EnableStart(false)",
        "EnableStart(true)",
        "SetActivityBusy(false)",
        "SetProcessState(0)",
        "SetToolbarSection(Start, 1, on)",
        "SetToolbarSection(Settings, 3, on)",
    };
    for (const bool exit : {false, true}) {
        SCOPED_TRACE(exit);
        RecordingDisplay display;
        tvr::testing::RunState window;
        tvr::testing::ScriptedProcessingHost host(window.connections);
        window.flags.FProcessing = true;
        window.flags.FExitRequested = exit;
        bool runningAtClose = true;
        display.setCloseHandler([&] { runningAtClose = window.flags.FWorkerRunning; });
        TDumpLoadThread worker(window.flags, display, host, {});
        worker.StopRequested = true;
        worker.Resume();
        worker.WaitFor();

        std::vector<std::string> expected = endSteps;
        if (exit) expected.push_back("RequestClose()");
        EXPECT_EQ(display.calls(), expected);
        EXPECT_FALSE(window.flags.FProcessing);
        EXPECT_FALSE(window.flags.FWorkerRunning);
        EXPECT_EQ(window.flags.FCloseFromWorker, exit);
        EXPECT_FALSE(exit && runningAtClose);
        EXPECT_EQ(host.passSettingsReads(), 0);
        EXPECT_TRUE(worker.Finished());
    }
}

}  // namespace

// The worker's own entries go to the views it was made with, whatever the process has bound.
TEST(WorkerEnd, ItsOwnErrorEntryGoesToTheViewsItWasMadeWith) {
    tvr::client::RecordingLogSink activity, errors, bound;
    tvr::client::LogSink* previous = tvr::client::setLogView(&bound);
    tvr::client::LogSink* previousErrors = tvr::client::setErrorLogView(&bound);
    RecordingDisplay display;
    tvr::testing::RunState window;
    tvr::testing::ScriptedProcessingHost host(window.connections);
    window.flags.FProcessing = true;
    {
        // Without a connection its first pass fails and ends processing.
        TDumpLoadThread worker(window.flags, display, host, {&activity, &errors});
        worker.Resume();
        ASSERT_TRUE(display.waitFor([&] { return worker.Finished(); }));
    }
    tvr::client::setErrorLogView(previousErrors);
    tvr::client::setLogView(previous);
    for (const auto* view : {&activity, &errors}) {
        ASSERT_EQ(view->entries(), 1);
        EXPECT_NE(view->texts().back().find("without a connection"), std::string::npos);
    }
    EXPECT_EQ(bound.entries(), 0);
}
