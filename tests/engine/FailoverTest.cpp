// The failover against two emulators after real passes: with the main server up the tail of
// the log reaches the reserve and the report gives the tail dump's time, up to which nothing
// is lost; fenced, a write to the old main is refused afterwards and nothing is lost; with it
// killed the tail is skipped and the loss window is shown; a program ending before the safe
// point sends nothing; a dump the reserve never loaded stops everything before online, read
// from the pass history or, without one, from the activity log; a second failover finds the
// first one's tail; a planned switchover followed by a run the other way ships from the old
// reserve to the old main.
#include "engine/Failover.h"
#include "tests/engine/ProcessingFixture.h"

#include <csignal>

using namespace tvr::engine;
using namespace tvr::engine::testing;

namespace {

class Failover : public ProcessingFixture {
protected:
    TFailoverPlan plan(bool planned = false, bool fence = false) const {
        return {kMain,        "sales",        dumps.string(), kReserve,
                "sales_copy", loads.string(), planned,        fence};
    }
    // The records as the program reads them: the pass history of the log folder, else the
    // activity log. With `history` the log is not offered, so the history alone must tell the
    // chain; without, a folder the worker never wrote its history to.
    TFailoverServices services(bool history) {
        const std::string logs = history ? dir.string() : (dir / "no-history").string();
        fs::create_directories(logs);
        return {
            [this](const std::string& line) { activity.push_back(line); },
            [this](const std::string& line) { errors.push_back(line); },
            [this, logs, history](const std::string& database) {
                return recordedShippedDumps(
                    logs, database,
                    [this, history] { return history ? std::string() : fileText(logFile()); },
                    std::chrono::system_clock::now());
            },
            [logs](const TPassRecord& record) { appendPassRecord(logs, record); },
            [](const std::string& path) { return fs::exists(path); },
            [] { return tvr::platform::localNow(); },
            [] { return std::chrono::system_clock::now(); },
            [this](const TFailoverPlan& done) {
                TShippingLedger ledger(ledgerFile());
                recordPromoted(ledger, done.planned, std::chrono::system_clock::now());
            },
        };
    }
    std::string ledgerFile() const { return (dir / "ledger.csv").string(); }
    TFailoverReport failOver(bool planned = false, bool history = true, bool fence = false,
                             std::function<bool()> stopRequested = {}) {
        TFailoverServices given = services(history);
        given.stopRequested = std::move(stopRequested);
        return runFailover(TPassSessions{window.connections.MainConnection.get(),
                                         window.connections.ReserveConnection.get()},
                           plan(planned, fence), given);
    }
    // Passes of a run until `passes` have ended, then a confirmed stop and the run's end.
    void ship(int passes) {
        newRun();
        host.setPassSettings(TPassSettings{false, true, "00:00:01"});
        control.StartProcessing();
        ASSERT_TRUE(waitFor([&] { return runPasses() > passes; }));
        stopNow();
        ASSERT_TRUE(waitUntilEnded());
    }
    // The server's error number for `statement` sent as sa on a connection of its own; 0 when
    // it was accepted.
    static int run(tvr::testing::Emulator& server, const std::string& statement) {
        tvr::client::TSybaseConnect side(server.name(), "sa", "", "", "");
        if (side.Connect() != CS_SUCCEED) return -1;
        side.Execute(statement);
        return side.ServerError() ? side.LastServerErrorNumber() : 0;
    }
    // The orders of `database` on `server` as text (the database must be online).
    static std::string orders(const std::string& server, const std::string& database) {
        tvr::client::TSybaseConnect reader(server, "sa", "", "", "");
        if (reader.Connect() != CS_SUCCEED) return "no connection";
        reader.Execute("use " + database);
        if (reader.ServerError()) return "not online";
        reader.Execute("select id, item from orders order by id");
        return reader.ColTexts().empty() ? "" : reader.ColTexts()[0] + reader.ColTexts()[1];
    }
    std::vector<std::string> activity;
    std::vector<std::string> errors;
};

bool anyHas(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != line.npos; });
}

TEST_F(Failover, WithTheMainUpTheTailIsSavedAndARowInsertedJustBeforeIsOnTheReserve) {
    // The tail is saved also when the main database's data is damaged, its log intact.
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "data damaged" : "healthy");
        activity.clear();
        errors.clear();
        startServers();
        ship(3);
        run(*main, "insert into sales..orders values (4, 'just before')");
        const std::string expected = orders(kMain, "sales");
        if (damaged) run(*main, "emulator fault damage sales");

        const TFailoverReport report = failOver();

        ASSERT_TRUE(report.done) << report.stopped;
        EXPECT_TRUE(report.tailSaved);
        EXPECT_FALSE(report.lossWindow);
        EXPECT_NE(expected.find("just before"), std::string::npos);
        EXPECT_EQ(orders(kReserve, "sales_copy"), expected);
        EXPECT_TRUE(anyHas(activity, "with no_truncate"));
        // Unfenced, the old main goes on taking writes: the report says from when they are lost.
        ASSERT_TRUE(report.tailStarted);
        const std::time_t tailTime = std::chrono::system_clock::to_time_t(*report.tailStarted);
        char clock[16];
        std::strftime(clock, sizeof clock, "%H:%M:%S", std::localtime(&tailTime));
        EXPECT_TRUE(anyHas(activity, std::string("Loss window: none up to ")));
        EXPECT_TRUE(anyHas(activity, std::string("anything committed there after ")));
        EXPECT_TRUE(anyHas(activity, std::string(clock) + " is not on the reserve"));
        EXPECT_EQ(run(*main, "insert into sales..orders values (5, 'after')"), damaged ? 926 : 0);
        // Every file loaded since the full load, in order, the tail last.
        ASSERT_GE(report.loaded.size(), 3u);
        EXPECT_NE(report.loaded.front().find(".db"), std::string::npos);
        EXPECT_EQ(report.loaded.back().rfind(report.lastDump, 0), 0u);
        EXPECT_TRUE(errors.empty()) << errors.front();
        // Steps 1 to 5 each left their line, in order.
        for (int stepNumber = 1, at = 0; stepNumber <= 5; ++stepNumber) {
            const std::string prefix = "Failover: " + std::to_string(stepNumber) + ": ";
            const auto it =
                std::find_if(activity.begin() + at, activity.end(),
                             [&](const auto& line) { return line.rfind(prefix, 0) == 0; });
            ASSERT_NE(it, activity.end()) << prefix;
            at = static_cast<int>(it - activity.begin());
        }
        dropServers();
    }
}

TEST_F(Failover, AStartAfterAFailoverIsRefusedUntilTheReserveIsReseeded) {
    startServers();
    host.ledgerFile = ledgerFile();
    ship(2);
    ASSERT_TRUE(failOver().done);
    const std::size_t sent = spTvrCalls(mainCommands()).size();

    control.StartProcessing();
    EXPECT_FALSE(window.flags.FProcessing);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_NE(prompts.boxes()[0].text.find("was brought online by a failover"), std::string::npos);
    EXPECT_EQ(spTvrCalls(mainCommands()).size(), sent);

    // Re-seeded: a full pass replaces the promoted database, and the mark is gone.
    prompts.scriptReply(tvr::platform::PromptReply::Yes);
    newRun();
    control.Reseed();
    ASSERT_TRUE(waitFor([&] { return runPasses() > 1; }));
    stopNow();
    ASSERT_TRUE(waitUntilEnded());
    EXPECT_EQ(spTvrCalls(mainCommands()).at(sent).first, 0);
    TShippingLedger ledger(ledgerFile());
    ledger.Read();
    EXPECT_FALSE(ledgerState(ledger.Entries(), {}).promoted);
}

TEST_F(Failover, AFencedMainRefusesEveryWriteAfterTheFenceKeepsReadsAndLosesNothing) {
    // Chosen for a failover, the default of a switchover: the tail dump works under the fence.
    for (const bool planned : {false, true}) {
        SCOPED_TRACE(planned ? "switchover" : "failover");
        activity.clear();
        errors.clear();
        startServers();
        ship(2);
        run(*main, "insert into sales..orders values (4, 'before the fence')");

        const TFailoverReport report = failOver(planned, true, true);

        ASSERT_TRUE(report.done) << report.stopped;
        EXPECT_TRUE(report.fenced);
        EXPECT_TRUE(anyHas(activity, "Loss window: none (the tail of the log was saved after"));
        EXPECT_TRUE(anyHas(activity, fenceStatement("sales", false)));  // how to undo it
        EXPECT_EQ(orders(kReserve, "sales_copy"), orders(kMain, "sales"));
        EXPECT_EQ(run(*main, "insert into sales..orders values (5, 'after the fence')"), 3906);
        EXPECT_EQ(run(*main, "update sales..orders set item = 'x'"), 3906);
        EXPECT_NE(orders(kMain, "sales").find("before the fence"), std::string::npos);
        EXPECT_EQ(run(*main, fenceStatement("sales", false)), 0);
        EXPECT_EQ(run(*main, "insert into sales..orders values (5, 'undone')"), 0);
        dropServers();
    }
}

TEST_F(Failover, AProgramEndingBeforeTheSafePointStopsWithNothingSentToTheMain) {
    startServers();
    ship(2);
    const std::size_t mainSent = mainCommands().size();

    const TFailoverReport report = failOver(false, true, true, [] { return true; });

    EXPECT_FALSE(report.done);
    EXPECT_NE(report.stopped.find("the program is ending"), std::string::npos);
    EXPECT_EQ(mainCommands().size(), mainSent);
    EXPECT_EQ(run(*main, "insert into sales..orders values (5, 'still writable')"), 0);
}

TEST_F(Failover, WithTheMainKilledTheTailIsSkippedAndTheLossWindowShown) {
    startServers();
    ship(3);
    const std::string loaded = orders(kMain, "sales");
    main->signal(SIGKILL);

    const TFailoverReport report = failOver(false, false);

    ASSERT_TRUE(report.done) << report.stopped;
    EXPECT_FALSE(report.tailSaved);
    ASSERT_TRUE(report.lossWindow);
    EXPECT_TRUE(anyHas(errors, "step 2 skipped: the main server TVRMAIN does not answer"));
    EXPECT_TRUE(anyHas(activity, "(when the last loaded dump began)"));
    EXPECT_TRUE(anyHas(activity, "was not fenced"));
    EXPECT_EQ(report.lastDump.substr(report.lastDump.size() - 3), ".tr");
    EXPECT_EQ(orders(kReserve, "sales_copy"), loaded);
}

TEST_F(Failover, ADumpMissingFromTheChainStopsBeforeOnlineAndIsNamed) {
    for (const bool history : {true, false}) {
        SCOPED_TRACE(history ? "pass history" : "activity log");
        activity.clear();
        errors.clear();
        startServers();
        // The load of the second pass fails, and its file is lost before it could be loaded
        // again: the passes that follow try it and make no later dump.
        std::atomic<bool> armed{false};
        std::atomic<bool> lost{false};
        onSleep = [&] {
            if (runPasses() == 1 && !armed.exchange(true))
                run(*reserve, "emulator fault error 8009");
            if (runPasses() == 2 && !lost.exchange(true)) {
                std::string newest;
                for (const auto& file : fs::directory_iterator(dumps))
                    newest = std::max(newest, file.path().filename().string());
                fs::remove(dumps / newest);
            }
        };
        ship(4);
        onSleep = nullptr;
        const auto calls = spTvrCalls(reserveCommands());
        ASSERT_GE(calls.size(), 3u);
        const std::string gap = calls[1].second;

        const TFailoverReport report = failOver(false, history);

        EXPECT_FALSE(report.done);
        EXPECT_NE(report.stopped.find("the dump " + gap), std::string::npos) << report.stopped;
        EXPECT_NE(report.byHand.find("load transaction sales_copy from"), std::string::npos);
        EXPECT_TRUE(anyHas(errors, gap));
        EXPECT_FALSE(anyHas(activity, "Failover: 4: "));
        EXPECT_EQ(orders(kReserve, "sales_copy"), "not online");
        dropServers();
    }
}

TEST_F(Failover, ASecondFailoverFindsTheReserveOnlineInsteadOfFailingAtALoad) {
    // With the history the first failover's tail is known: nothing goes to the main server.
    // Without it a new tail is dumped, and the reserve's refusal of its load is explained.
    for (const bool history : {true, false}) {
        SCOPED_TRACE(history ? "pass history" : "activity log");
        startServers();
        ship(2);
        ASSERT_TRUE(failOver(false, history).done);
        activity.clear();
        errors.clear();
        const std::size_t mainSent = mainCommands().size();

        const TFailoverReport again = failOver(false, history);

        EXPECT_EQ(again.done, history) << again.stopped;
        if (history) {
            EXPECT_EQ(mainCommands().size(), mainSent);
            EXPECT_TRUE(again.tailSaved);
            EXPECT_TRUE(anyHas(activity, "2: skipped: an earlier failover saved the tail"));
            EXPECT_TRUE(anyHas(activity, "is online (an earlier failover had saved"));
            EXPECT_TRUE(errors.empty()) << errors.front();
        } else {
            EXPECT_NE(again.stopped.find("it is online already"), std::string::npos)
                << again.stopped;
        }
        EXPECT_EQ(orders(kReserve, "sales_copy"), orders(kMain, "sales"));
        dropServers();
    }
}

TEST_F(Failover, ASwitchoverThenAReversedRunShipsFromTheOldReserveToTheOldMain) {
    startServers();
    ship(2);
    run(*main, "insert into sales..orders values (4, 'before the switch')");
    const TFailoverReport report = failOver(true);
    ASSERT_TRUE(report.done) << report.stopped;
    EXPECT_TRUE(anyHas(activity, "with standby_access"));
    EXPECT_TRUE(anyHas(activity, "Loss window: none"));

    // The roles reversed: sales_copy is the main database, sales the standby.
    std::swap(window.connections.MainConnection, window.connections.ReserveConnection);
    host.setStartSettings(
        TStartSettings{true, "sales_copy", loads.string(), "sales", dumps.string()});
    run(*reserve, "insert into sales_copy..orders values (5, 'after the switch')");
    mainCommandsBefore = traceCommands(*main).size();
    ship(2);
    const auto reversed = spTvrCalls(traceCommands(*main));
    ASSERT_FALSE(reversed.empty());
    EXPECT_EQ(reversed.back().second.rfind("sales_copy", 0), 0u);  // loads on the old main
    run(*main, "online database sales");
    const std::string shipped = orders(kMain, "sales");
    EXPECT_NE(shipped.find("after the switch"), std::string::npos);
    EXPECT_EQ(shipped, orders(kReserve, "sales_copy"));
}

}  // namespace
