// Runs that decide from the shipping ledger, against two emulators: a reserve restarted between
// passes or down for a while catches up in order and loses no file; a full load never replaces
// an online reserve but at a re-seed; a restart of the program resumes the chain; a dump whose
// header is not the expected one is not loaded; a folder too long for the procedure is refused.
#include "engine/DumpFileName.h"
#include "engine/ReserveChecks.h"
#include "engine/ShippingLedger.h"
#include "platform/AtomicFile.h"
#include "platform/RegionalSettings.h"
#include "tests/engine/ProcessingFixture.h"
#include "tests/support/StandbyCompare.h"

#include <algorithm>
#include <csignal>
#include <fstream>

using namespace tvr::engine;
using namespace tvr::engine::testing;
using tvr::platform::PromptReply;

namespace {

class LedgerRun : public ProcessingFixture {
protected:
    void SetUp() override {
        ProcessingFixture::SetUp();
        host.ledgerFile = (dir / "ledger.csv").string();
    }
    TShippingLedger ledger() const {
        TShippingLedger read(host.ledgerFile);
        read.Read();
        return read;
    }
    // An entry of the pair's, as a run would have appended it: a good one, in the dump folder.
    void record(LedgerEvent event, const std::string& file, PassKind kind) const {
        TShippingLedger appended(host.ledgerFile);
        TLedgerEntry entry;
        entry.time = std::chrono::system_clock::now();
        entry.event = event;
        entry.pair = TShippingPair{kMain, "sales", kReserve, "sales_copy"}.key();
        entry.file = file;
        entry.folder = dumps.string();
        entry.kind = kind;
        entry.ok = true;
        appended.Append(entry);
    }
    TLedgerState state() const {
        return ledgerState(ledger().Entries(),
                           TShippingPair{kMain, "sales", kReserve, "sales_copy"}.key());
    }
    // Starts a run and stops it once `passes` passes of it have ended.
    void ship(int passes, TPassSettings settings = TPassSettings{false, true, "00:00:01"}) {
        newRun();
        host.setPassSettings(settings);
        control.StartProcessing();
        ASSERT_TRUE(window.worker);
        ASSERT_TRUE(waitForRunPasses(passes));
        stopNow();
        ASSERT_TRUE(waitUntilEnded());
    }
    // Waits until `passes` passes of the run begun last have ended (the next has begun), or
    // the run has.
    bool waitForRunPasses(int passes) {
        return waitFor([&] { return runPasses() > passes || window.worker->Finished(); });
    }
    void onReserve(const std::string& statement) {
        tvr::client::TSybaseConnect side(kReserve, "sa", "", "", "");
        ASSERT_EQ(reserve->logOn([&] { return side.Connect(); }), CS_SUCCEED);
        side.Execute(statement);
    }
    void addRow(int id) {
        tvr::client::TSybaseConnect side(kMain, "sa", "", "", "");
        ASSERT_EQ(main->logOn([&] { return side.Connect(); }), CS_SUCCEED);
        side.Execute("insert into sales..orders values (" + std::to_string(id) + ", 'more')");
    }
    // The kinds of the dumps the main server was asked for, 0 full, 1 transaction.
    std::vector<int> dumpKinds() const {
        std::vector<int> kinds;
        for (const auto& call : spTvrCalls(mainCommands())) kinds.push_back(call.first);
        return kinds;
    }
};

TEST_F(LedgerRun, AReserveRestartedBetweenPassesLoadsTheMissedDumpFirstAndLosesNoFile) {
    for (const bool clearLog : {false, true}) {
        SCOPED_TRACE(clearLog ? "delete after load" : "keep files");
        startServers();
        fs::remove(host.ledgerFile);
        // The worker waits in its sleep after the second pass while this thread restarts the
        // reserve: a server started from the worker's thread would die with it.
        std::atomic<bool> due{false};
        std::atomic<bool> restarted{false};
        std::atomic<int> rows{3};
        onSleep = [&] {
            if (runPasses() == 2 && !due.exchange(true)) {
                for (int i = 0; i < 3000 && !restarted; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (runPasses() < 6) addRow(++rows);
        };
        newRun();
        host.setPassSettings(TPassSettings{clearLog, true, "00:00:01"});
        control.StartProcessing();
        ASSERT_TRUE(waitFor([&] { return due.load(); }));
        reserve->signal(SIGKILL);
        reserve->start();
        restarted = true;
        ASSERT_TRUE(waitForRunPasses(6));
        stopNow();
        ASSERT_TRUE(waitUntilEnded());
        onSleep = nullptr;

        const TLedgerState shipped = state();
        EXPECT_TRUE(shipped.pending().empty());
        ASSERT_GE(shipped.chain.size(), 5u);
        // The load lost with the connection was tried again, and loaded before any later one.
        const TShippingLedger read = ledger();
        const auto& entries = read.Entries();
        std::vector<std::string> loaded;
        bool failedOnce = false;
        for (const TLedgerEntry& e : entries) {
            if (e.event != LedgerEvent::Load) continue;
            if (!e.ok) failedOnce = true;
            if (e.ok) loaded.push_back(e.file);
        }
        EXPECT_TRUE(failedOnce);
        std::vector<std::string> made;
        for (const TLedgerDump& d : shipped.chain) made.push_back(d.file);
        EXPECT_EQ(loaded, made);
        // Deleted after its good load, never before; without the setting every file stays.
        for (const TLedgerDump& d : shipped.chain) {
            EXPECT_EQ(d.deleted, clearLog) << d.file;
            EXPECT_NE(fs::exists(dumps / d.file), clearLog) << d.file;
        }
        tvr::testing::expectReserveEqualsMain(kMain, kReserve, 6);
        dropServers();
    }
}

TEST_F(LedgerRun, AReserveDownForManyTriesCatchesUpInOrderWhenItReturns) {
    startServers();
    std::atomic<bool> killed{false};
    onSleep = [&] {
        if (runPasses() == 2 && !killed.exchange(true)) reserve->signal(SIGKILL);
    };
    newRun();
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    control.StartProcessing();
    // Ten tries to open the reserve again, while a row is added on the main server.
    ASSERT_TRUE(waitFor([&] {
        return fileText(logFile()).find("Connecting to TVRRESERVE again, try 10") !=
               std::string::npos;
    }));
    addRow(4);
    reserve->start();
    const int back = runPasses();
    ASSERT_TRUE(waitFor([&] { return runPasses() >= back + 2 && state().pending().empty(); }));
    stopNow();
    ASSERT_TRUE(waitUntilEnded());
    onSleep = nullptr;
    EXPECT_TRUE(state().pending().empty());
    tvr::testing::expectReserveEqualsMain(kMain, kReserve, 4);
}

TEST_F(LedgerRun, AFullLoadOntoAnOnlineReserveIsRefusedUnlessReseeded) {
    startServers();
    ship(1);
    onReserve("online database sales_copy");
    const std::size_t before = dumpKinds().size();

    // A start: nothing sent, an error entry and a box that say why.
    control.StartProcessing();
    EXPECT_FALSE(window.flags.FProcessing);
    EXPECT_EQ(dumpKinds().size(), before);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_NE(prompts.boxes()[0].text.find("is online"), std::string::npos);
    EXPECT_NE(fileText(errorLogFile()).find("sales_copy on TVRRESERVE is online"),
              std::string::npos);
    // Unattended, the entry alone.
    window.connections.AutoStart = true;
    control.StartProcessing();
    EXPECT_EQ(prompts.boxes().size(), 1u);
    window.connections.AutoStart = false;

    // Re-seed answered No: nothing; Yes: a full pass replaces it.
    prompts.scriptReply(PromptReply::No);
    control.Reseed();
    EXPECT_FALSE(window.flags.FProcessing);
    prompts.scriptReply(PromptReply::Yes);
    addRow(4);
    newRun();
    control.Reseed();
    ASSERT_TRUE(waitForRunPasses(1));
    stopNow();
    ASSERT_TRUE(waitUntilEnded());
    EXPECT_EQ(dumpKinds().at(before), 0);
    tvr::testing::expectReserveEqualsMain(kMain, kReserve, 4, 4);
}

TEST_F(LedgerRun, AResumedStartSendsNoFullDumpWhileTheReserveIsInItsLoadSequence) {
    startServers();
    TStartSettings settings{true, "sales", dumps.string(), "sales_copy", loads.string()};
    settings.IsResumeChain = true;
    host.setStartSettings(settings);
    ship(2);
    addRow(4);
    ship(2);
    // One full dump, at the very first start; the second start went on with the log.
    const auto kinds = dumpKinds();
    EXPECT_EQ(kinds.front(), 0);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 0), 1);
    EXPECT_NE(fileText(logFile()).find("Resuming the log chain: sales_copy on TVRRESERVE has "
                                       "loaded"),
              std::string::npos);
    tvr::testing::expectReserveEqualsMain(kMain, kReserve, 4, 4);

    // Online now, the chain cannot be resumed: the line says why, and the full load that would
    // follow is refused.
    control.StartProcessing();
    EXPECT_FALSE(window.flags.FProcessing);
    EXPECT_NE(fileText(logFile()).find("The log chain is not resumed (sales_copy on TVRRESERVE "
                                       "is online)"),
              std::string::npos);
}

TEST_F(LedgerRun, ADumpWhoseHeaderIsNotTheExpectedOneIsNotLoaded) {
    startServers({"--database", "other"});
    TPassSettings checked{false, true, "00:00:01"};
    checked.IsCheckHeader = true;
    ship(2, checked);
    // The ledger's next dump is, in truth, a log dump of another database.
    tvr::client::TSybaseConnect side(kMain, "sa", "", "", "");
    ASSERT_EQ(main->logOn([&] { return side.Connect(); }), CS_SUCCEED);
    side.Execute("dump database other to \"" + (dumps / "other.db").string() + "\"");
    side.Execute("dump tran other to \"" + (dumps / "forged.tr").string() + "\"");
    record(LedgerEvent::Dump, "forged.tr", PassKind::Transaction);
    const std::size_t loadCalls = spTvrCalls(reserveCommands()).size();
    TStartSettings settings{false, "sales", dumps.string(), "sales_copy", loads.string()};
    host.setStartSettings(settings);
    ship(1, checked);

    EXPECT_EQ(spTvrCalls(reserveCommands()).size(), loadCalls);
    EXPECT_NE(fileText(errorLogFile())
                  .find("forged.tr is not loaded: it was dumped from "
                        "database 'other', not 'sales'"),
              std::string::npos);
    EXPECT_EQ(state().pending().front().file, "forged.tr");
}

TEST_F(LedgerRun, AFolderTooLongForTheProcedureIsRefusedAtStartWithItsLength) {
    startServers();
    const std::size_t longest = longestDumpFileName("sales", tvr::platform::regionalFormats());
    for (const std::size_t extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        // A folder that leaves the longest name exactly the procedure's 100 characters, or one
        // more.
        std::string deep = dumps.string() + "/";
        deep += std::string(kProcedureDeviceLimit - longest - 1 - deep.size() + extra, 'f');
        fs::create_directories(deep);
        host.setStartSettings(TStartSettings{true, "sales", deep, "sales_copy", deep});
        const std::size_t boxes = prompts.boxes().size();
        newRun();
        control.StartProcessing();
        EXPECT_EQ(window.flags.FProcessing, extra == 0);
        if (extra == 0) {
            ASSERT_TRUE(waitForRunPasses(1));
            stopNow();
            ASSERT_TRUE(waitUntilEnded());
            EXPECT_EQ(prompts.boxes().size(), boxes);
            continue;
        }
        ASSERT_EQ(prompts.boxes().size(), boxes + 1);
        EXPECT_NE(prompts.boxes().back().text.find(std::to_string(kProcedureDeviceLimit + 1) +
                                                   " characters"),
                  std::string::npos);
    }
}

TEST_F(LedgerRun, OldLoadedDumpsExpireUnderA12HourClockAndNothingElseInTheFolderDoes) {
    tvr::platform::injectRegionalFormats(
        tvr::platform::RegionalFormats{"%m/%d/%Y", "%I:%M:%S %p", ':'});
    startServers();
    ship(2);
    // Three days pass; another profile ships a database of the same name into the folder.
    TShippingLedger aged(host.ledgerFile);
    aged.Read();
    std::string text = ledgerHeader() + "\n";
    std::vector<std::string> old;
    for (TLedgerEntry e : aged.Entries()) {
        e.time -= std::chrono::hours(72);
        text += ledgerLine(e) + "\n";
        if (e.event == LedgerEvent::Dump) old.push_back(e.file);
    }
    tvr::platform::replaceFileAtomically(host.ledgerFile, text);
    ASSERT_FALSE(old.empty());
    EXPECT_NE(old.front().find(" PM.db"), std::string::npos) << old.front();
    const std::string foreign = "east_" + old.front();
    std::ofstream(dumps / foreign) << "dump";

    TPassSettings keep{false, true, "00:00:01"};
    keep.KeepDumpDays = 1;
    ship(1, keep);
    // Every old dump was deleted (the run's clock may give a later dump one of their names
    // again), the new ones were not, and the other profile's file is still there.
    const TShippingLedger after = ledger();
    std::vector<std::string> deletedFiles;
    for (const TLedgerEntry& e : after.Entries())
        if (e.event == LedgerEvent::Deleted) deletedFiles.push_back(e.file);
    std::sort(old.begin(), old.end());
    std::sort(deletedFiles.begin(), deletedFiles.end());
    EXPECT_EQ(deletedFiles, old);
    EXPECT_TRUE(fs::exists(dumps / foreign));
}

TEST_F(LedgerRun, APartialDumpOfAPassThatNeverEndedIsDeletedAtTheNextStart) {
    startServers();
    record(LedgerEvent::DumpBegun, "sales01.12.2026100000.db", PassKind::Full);
    std::ofstream(dumps / "sales01.12.2026100000.db") << "half a dump";
    ship(1);
    EXPECT_FALSE(fs::exists(dumps / "sales01.12.2026100000.db"));
    EXPECT_NE(fileText(logFile()).find("The partial dump " +
                                       (dumps / "sales01.12.2026100000.db").string() +
                                       " of a pass that never completed is deleted"),
              std::string::npos);
    EXPECT_TRUE(state().partial.empty());
}

}  // namespace
