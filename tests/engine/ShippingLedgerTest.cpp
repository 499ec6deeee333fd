// The shipping ledger's file and what it says: entries read back as written (commas, quotes),
// a line a kill cut short skipped and counted while the next entry starts on a line of its
// own, the chain, the pending and superseded dumps and the promoted mark of a pair; and the
// first pass a start decides from it and from the reserve's state.
#include "engine/ShippingLedger.h"
#include "engine/StartDecision.h"
#include "platform/AtomicFile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tvr::engine;
using namespace std::chrono_literals;

namespace {

const std::string kPair = TShippingPair{"MAIN", "sales", "RESERVE", "sales_copy"}.key();
const LedgerClock::time_point kNoon = LedgerClock::from_time_t(1796644800);

TLedgerEntry entry(LedgerEvent event, const std::string& file,
                   PassKind kind = PassKind::Transaction, bool ok = true,
                   const std::string& pair = kPair) {
    TLedgerEntry e;
    e.time = kNoon;
    e.event = event;
    e.pair = pair;
    e.file = file;
    e.folder = "/dumps";
    e.kind = kind;
    e.ok = ok;
    return e;
}

// A dump begun and made, and (when `loaded` is given) one load of it.
void made(std::vector<TLedgerEntry>& entries, const std::string& file, PassKind kind,
          std::optional<bool> loaded) {
    entries.push_back(entry(LedgerEvent::DumpBegun, file, kind));
    entries.push_back(entry(LedgerEvent::Dump, file, kind));
    if (loaded) entries.push_back(entry(LedgerEvent::Load, file, kind, *loaded));
}

std::vector<std::string> files(const std::vector<TLedgerDump>& dumps) {
    std::vector<std::string> names;
    for (const TLedgerDump& d : dumps) names.push_back(d.file);
    return names;
}

TEST(ShippingLedger, EveryEventReadsBackAsWrittenAndATornLastLineIsSkippedOnce) {
    tvr::testing::TempFolder folder;
    const auto file = folder / "ledger.csv";
    TLedgerEntry odd = entry(LedgerEvent::Load, "sa,les \"x\".tr", PassKind::Tail, false);
    odd.error = 4305;
    odd.folder = "/a, b";
    odd.detail = "header: it is a log dump, not a database dump";
    TLedgerEntry sized = entry(LedgerEvent::Dump, "sales.db", PassKind::Full);
    sized.bytes = 81920;
    {
        TShippingLedger ledger(file);
        for (const auto& e : {entry(LedgerEvent::DumpBegun, "sales.db", PassKind::Full), sized, odd,
                              entry(LedgerEvent::Deleted, "sales.db"),
                              entry(LedgerEvent::Promoted, ""), entry(LedgerEvent::Cleared, "")})
            ledger.Append(e);
    }
    TShippingLedger read(file);
    read.Read();
    ASSERT_EQ(read.Entries().size(), 6u);
    EXPECT_EQ(read.Entries()[1], sized);
    EXPECT_EQ(read.Entries()[2], odd);
    EXPECT_EQ(read.Skipped(), 0u);

    // A kill in the middle of the next line: it is left out, and the entry after it is whole.
    std::ofstream(file, std::ios::app) << "2026-12-08T12:00:00+00:00,dump,MAIN.sa";
    read.Read();
    EXPECT_EQ(read.Entries().size(), 6u);
    EXPECT_EQ(read.Skipped(), 1u);
    read.Append(entry(LedgerEvent::Dump, "after.tr"));
    TShippingLedger again(file);
    again.Read();
    ASSERT_EQ(again.Entries().size(), 7u);
    EXPECT_EQ(again.Entries().back().file, "after.tr");
    EXPECT_EQ(again.Skipped(), 1u);
}

TEST(ShippingLedger, TheStateOfAPairFollowsItsDumpsAndLoadsInOrder) {
    struct Case {
        const char* name;
        std::vector<TLedgerEntry> entries;
        std::vector<std::string> chain, pending, superseded, partial;
        bool anyLoad, promoted;
    };
    std::vector<Case> cases;
    {
        Case c{
            "loads wait in order", {}, {"F", "T1", "T2", "T3"}, {"T2", "T3"}, {}, {}, true, false};
        made(c.entries, "F", PassKind::Full, true);
        made(c.entries, "T1", PassKind::Transaction, true);
        made(c.entries, "T2", PassKind::Transaction, false);
        made(c.entries, "T3", PassKind::Transaction, std::nullopt);
        cases.push_back(c);
    }
    {
        Case c{
            "a new full dump begins the chain", {}, {"F2"}, {"F2"}, {"F1", "T1"}, {}, true, false};
        made(c.entries, "F1", PassKind::Full, true);
        made(c.entries, "T1", PassKind::Transaction, false);
        c.entries.push_back(entry(LedgerEvent::Dump, "F-failed", PassKind::Full, false));
        made(c.entries, "F2", PassKind::Full, std::nullopt);
        cases.push_back(c);
    }
    {
        Case c{"a dump begun and never ended", {}, {"F"}, {}, {}, {"T1"}, true, true};
        made(c.entries, "F", PassKind::Full, true);
        c.entries.push_back(entry(LedgerEvent::DumpBegun, "T1"));
        c.entries.push_back(entry(LedgerEvent::Promoted, ""));
        // Another pair's entries change nothing of this one.
        made(c.entries, "X", PassKind::Transaction, false);
        c.entries.back().pair = c.entries[c.entries.size() - 2].pair =
            c.entries[c.entries.size() - 3].pair = "OTHER.db>RESERVE.db";
        cases.push_back(c);
    }
    {
        Case c{"promoted, then cleared", {}, {}, {}, {}, {}, false, false};
        c.entries.push_back(entry(LedgerEvent::Promoted, ""));
        c.entries.push_back(entry(LedgerEvent::Cleared, ""));
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TLedgerState state = ledgerState(c.entries, kPair);
        EXPECT_EQ(files(state.chain), c.chain);
        EXPECT_EQ(files(state.pending()), c.pending);
        EXPECT_EQ(files(state.superseded), c.superseded);
        EXPECT_EQ(files(state.partial), c.partial);
        EXPECT_EQ(state.anyLoad, c.anyLoad);
        EXPECT_EQ(state.promoted, c.promoted);
    }
}

TEST(ShippingLedger, OnlyDumpsNoLongerNeededExpire) {
    std::vector<TLedgerEntry> entries;
    made(entries, "F1", PassKind::Full, true);
    made(entries, "T1", PassKind::Transaction, false);  // replaced by F2 once F2 is loaded
    made(entries, "F2", PassKind::Full, std::nullopt);
    const auto later = kNoon + 1h;
    EXPECT_EQ(files(expiredLedgerDumps(ledgerState(entries, kPair), later)),
              (std::vector<std::string>{}));
    entries.push_back(entry(LedgerEvent::Load, "F2", PassKind::Full));
    made(entries, "T2", PassKind::Transaction, false);  // pending: never expires
    EXPECT_EQ(files(expiredLedgerDumps(ledgerState(entries, kPair), later)),
              (std::vector<std::string>{"F1", "T1", "F2"}));
    EXPECT_TRUE(expiredLedgerDumps(ledgerState(entries, kPair), kNoon).empty());
    // Without a reserve server a dump is done once made.
    const std::string alone = TShippingPair{"MAIN", "sales", "", ""}.key();
    std::vector<TLedgerEntry> dumps;
    made(dumps, "F", PassKind::Full, std::nullopt);
    for (auto& e : dumps) e.pair = alone;
    EXPECT_EQ(files(expiredLedgerDumps(ledgerState(dumps, alone), later)),
              (std::vector<std::string>{"F"}));
}

TEST(ShippingLedger, ALongRunsLedgerIsCompactedToWhatItMustStillTell) {
    tvr::testing::TempFolder folder;
    const auto file = folder / "ledger.csv";
    std::vector<TLedgerEntry> entries;
    made(entries, "F0", PassKind::Full, true);
    made(entries, "T-old", PassKind::Transaction, std::nullopt);  // superseded, still there
    made(entries, "F1", PassKind::Full, true);
    for (int i = 0; i < 2000; ++i) {
        const std::string name = "T" + std::to_string(i);
        made(entries, name, PassKind::Transaction, true);
        entries.push_back(entry(LedgerEvent::Deleted, name));
    }
    made(entries, "T-waiting", PassKind::Transaction, false);
    entries.push_back(entry(LedgerEvent::DumpBegun, "T-partial"));
    entries.push_back(entry(LedgerEvent::Promoted, ""));
    {
        std::string text = ledgerHeader() + "\n";
        for (const auto& e : entries) text += ledgerLine(e) + "\n";
        tvr::platform::replaceFileAtomically(file, text);
        TShippingLedger ledger(file);
        ledger.Read();
        ledger.CompactIfLarge();
        EXPECT_LT(ledger.Entries().size(), 40u);
    }
    TShippingLedger read(file);
    read.Read();
    const TLedgerState before = ledgerState(entries, kPair);
    const TLedgerState after = ledgerState(read.Entries(), kPair);
    EXPECT_EQ(files(after.pending()), files(before.pending()));
    EXPECT_EQ(files(after.superseded), files(before.superseded));
    EXPECT_EQ(files(after.partial), files(before.partial));
    EXPECT_EQ(after.anyLoad, before.anyLoad);
    EXPECT_EQ(after.promoted, before.promoted);
    EXPECT_EQ(after.chain.front().file, "F1");
    EXPECT_EQ(after.chain[after.chain.size() - 2].file, "T1999");
    EXPECT_EQ(compactedEntries(read.Entries()), read.Entries());
}

TEST(StartDecision, TheFirstPassFollowsTheSettingsTheLedgerAndTheReserve) {
    std::vector<TLedgerEntry> shipped;
    made(shipped, "F", PassKind::Full, true);
    made(shipped, "T1", PassKind::Transaction, true);
    std::vector<TLedgerEntry> owing = shipped;
    made(owing, "T2", PassKind::Transaction, false);
    std::vector<TLedgerEntry> promoted = shipped;
    promoted.push_back(entry(LedgerEvent::Promoted, ""));
    promoted.back().detail = "a failover";
    const auto online = DatabaseState::Online;
    const auto loading = DatabaseState::Loading;
    struct Case {
        const char* name;
        const std::vector<TLedgerEntry>* ledger;
        StartKind kind;
        bool resume;
        std::optional<DatabaseState> reserve;
        bool full;
        const char* activity;  // a part of the line; "" for none
        const char* refusal;   // a part of it; "" when the start goes on
    };
    const std::vector<TLedgerEntry> none;
    const Case cases[] = {
        {"first setup onto an online reserve", &none, StartKind::Normal, false, online, true, "",
         ""},
        {"a full load over a live reserve", &shipped, StartKind::Normal, false, online, true, "",
         "is online"},
        {"resumed", &shipped, StartKind::Normal, true, loading, false, "Resuming the log chain",
         ""},
        {"not resumed: a dump not loaded", &owing, StartKind::Normal, true, loading, true,
         "1 dump of the chain not loaded, the first T2", ""},
        {"not resumed: the state unknown", &shipped, StartKind::Normal, true, std::nullopt, true,
         "is not known", ""},
        {"promoted", &promoted, StartKind::Normal, true, online, true, "",
         "was brought online by a failover"},
        {"re-seeded", &promoted, StartKind::Reseed, false, online, true, "Re-seeding", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TStartFacts facts;
        facts.kind = c.kind;
        facts.isResumeChain = c.resume;
        facts.reserveServer = "RESERVE";
        facts.reserveDatabase = "sales_copy";
        facts.reserve = c.reserve;
        const TStartDecision decision = decideFirstPass(ledgerState(*c.ledger, kPair), facts);
        EXPECT_EQ(decision.full, c.full);
        EXPECT_NE(decision.activity.find(c.activity), std::string::npos) << decision.activity;
        EXPECT_EQ(decision.activity.empty(), std::string(c.activity).empty());
        EXPECT_NE(decision.refusal.find(c.refusal), std::string::npos) << decision.refusal;
        EXPECT_EQ(decision.refusal.empty(), std::string(c.refusal).empty());
    }
}

}  // namespace
