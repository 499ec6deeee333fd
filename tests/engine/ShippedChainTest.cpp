// Reading the passes' dumps and loads back from the pass history or an activity log, and what
// they say of the chain the reserve holds.
#include "engine/DumpFileName.h"
#include "engine/ShippedChain.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace tvr::engine;

namespace {

ChainClock::time_point localTime(int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    when.tm_isdst = -1;
    return ChainClock::from_time_t(std::mktime(&when));
}

TEST(ShippedChain, ALogGivesEachDumpWithItsLoadAndAFailedStepIsNotCounted) {
    const std::string log =
        "Start Dump  23:59:58\r\n"
        "Backup Server: 6.28.1.1: Dumpfile name 'sales1' section number 1 mounted on disk file "
        "'/d/sales.db'  23:59:58\r\n"
        "Backup Server: 3.42.1.1: DUMP is complete (database sales).  23:59:59\r\n"
        "Start Load  23:59:59\r\n"
        "Backup Server: 6.28.1.1: Dumpfile name 'sales1' section number 1 mounted on disk file "
        "'/l/sales.db'  23:59:59\r\n"
        "Backup Server: 3.42.1.1: LOAD is complete (database sales_copy).  00:00:01\r\n"
        "Start Dump  00:00:10\r\n"
        "Backup Server: 6.28.1.1: Dumpfile name 'sales2' section number 1 mounted on disk file "
        "'/d/a.tr'  00:00:10\r\n"
        "Backup Server: 3.42.1.1: DUMP is complete (database sales).  00:00:10\r\n"
        "Start Load  00:00:11\r\n"
        "Backup Server: 6.28.1.1: Dumpfile name 'sales2' section number 1 mounted on disk file "
        "'/l/a.tr'  00:00:11\r\n"
        "\r\n$Err$Error: Time: 00:00:11;  number 8009;  severity 16;  state 1;  line 1\r\n"
        "$Mess$Error encountered by Backup Server.\r\n"
        "Backup Server: 3.42.1.1: LOAD is complete (database sales_copy).  00:00:12\r\n"
        "Start Dump  00:00:20\r\n"
        "\r\n$Err$Error: Time: 00:00:20;  number 4221;  severity 16;  state 1;  line 1\r\n";

    const auto dumps = shippedDumpsFromLog(log, "%H:%M:%S", localTime(8, 0, 1, 0));

    ASSERT_EQ(dumps.size(), 3u);
    EXPECT_EQ(dumps[0], (TShippedDump{"sales.db", true, true, true, localTime(7, 23, 59, 58)}));
    // The load's error came before its end: a "complete" after it does not count.
    EXPECT_EQ(dumps[1], (TShippedDump{"a.tr", false, true, false, localTime(8, 0, 0, 10)}));
    EXPECT_FALSE(dumps[2].dumped);
}

TEST(ShippedChain, TheFirstDumpNotLoadedSinceTheLastFullLoadIsMissing) {
    const TShippedDump full{"f.db", true, true, true, {}};
    const TShippedDump fullNotLoaded{"g.db", true, true, false, {}};
    const TShippedDump loaded{"t.tr", false, true, true, {}};
    const TShippedDump notLoaded{"u.tr", false, true, false, {}};
    const TShippedDump failedDump{"v.tr", false, false, false, {}};
    struct Case {
        const char* name;
        std::vector<TShippedDump> dumps;
        bool fullLoaded;
        std::optional<std::size_t> missing;
        std::optional<std::size_t> lastLoaded;
    };
    const Case cases[] = {
        {"nothing recorded", {}, false, {}, {}},
        {"no full load", {loaded, fullNotLoaded}, false, {}, {}},
        {"a complete chain", {full, loaded, failedDump, loaded}, true, {}, 3},
        {"a gap", {full, loaded, notLoaded, loaded}, true, 2, 1},
        {"a gap before the last full load is healed", {notLoaded, full, loaded}, true, {}, 2},
        {"a full dump not loaded leaves the chain", {full, fullNotLoaded, loaded}, true, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TChainState state = checkShippedChain(c.dumps);
        EXPECT_EQ(state.fullLoaded, c.fullLoaded);
        EXPECT_EQ(state.missing, c.missing);
        EXPECT_EQ(state.lastLoaded, c.lastLoaded);
    }
}

const tvr::platform::RegionalFormats kFormats{"%d.%m.%Y", "%H:%M:%S", ':'};

// The name of a dump file of `database` written at 14:05:`second` on 8 December.
std::string dumpName(const std::string& database, bool full, int second) {
    const std::time_t t = ChainClock::to_time_t(localTime(8, 14, 5, second));
    std::tm when{};
    ::localtime_r(&t, &when);
    return dumpFileName(database, !full, when, kFormats);
}

TPassRecord pass(PassKind kind, int second, const char* outcome, bool loadSent = true,
                 const std::string& database = "sales") {
    TPassRecord record;
    record.start = localTime(8, 14, 5, second);
    record.kind = kind;
    record.file = dumpName(database, kind == PassKind::Full, second);
    record.outcome = outcome;
    if (loadSent) record.loadSeconds = 0.5;
    return record;
}

TEST(ShippedChain, AHistoryRecordGivesItsDumpAndWhetherTheReserveLoadedIt) {
    struct Case {
        const char* name;
        TPassRecord record;
        bool kept, dumped, loaded;
    };
    const Case cases[] = {
        {"a good full pass", pass(PassKind::Full, 1, "ok"), true, true, true},
        {"a good transaction pass", pass(PassKind::Transaction, 2, "ok"), true, true, true},
        {"a failed load", pass(PassKind::Transaction, 3, "load failed"), true, true, false},
        {"a failed dump", pass(PassKind::Transaction, 4, "dump failed", false), true, false, false},
        {"no reserve server: nothing loaded", pass(PassKind::Transaction, 5, "ok", false), true,
         true, false},
        {"a failover's tail", pass(PassKind::Tail, 6, "ok"), true, true, true},
        {"another database's pass", pass(PassKind::Full, 7, "ok", true, "sales_copy"), false, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto dumps = shippedDumpsFromHistory({c.record}, "sales", kFormats);
        ASSERT_EQ(dumps.size(), c.kept ? 1u : 0u);
        if (!c.kept) continue;
        EXPECT_EQ(dumps[0],
                  (TShippedDump{c.record.file, c.record.kind == PassKind::Full, c.dumped, c.loaded,
                                c.record.start, c.record.kind == PassKind::Tail}));
    }
}

TEST(ShippedChain, TheHistoryIsReadWhenItRecordsAFullLoadElseTheActivityLogs) {
    tvr::platform::injectRegionalFormats(kFormats);
    const tvr::testing::TempFolder folder;
    const std::string log =
        "Start Dump  14:05:00\r\n"
        "Backup Server: 6.28.1.1: Dumpfile name 's' section number 1 mounted on disk file "
        "'/d/from-the-log.db'  14:05:00\r\n"
        "Backup Server: 3.42.1.1: DUMP is complete (database sales).  14:05:00\r\n";
    const auto files = [&] {
        std::vector<std::string> names;
        for (const auto& dump : recordedShippedDumps(
                 folder.string(), "sales", [&] { return log; }, localTime(8, 15, 0, 0)))
            names.push_back(dump.file);
        return names;
    };
    // A history that has no full load of its own cannot anchor the chain.
    appendPassRecord(folder.string(), pass(PassKind::Full, 1, "load failed"));
    appendPassRecord(folder.string(), pass(PassKind::Transaction, 2, "ok"));
    EXPECT_EQ(files(), std::vector<std::string>{"from-the-log.db"});

    appendPassRecord(folder.string(), pass(PassKind::Full, 3, "ok"));
    EXPECT_EQ(files(),
              (std::vector<std::string>{dumpName("sales", true, 1), dumpName("sales", false, 2),
                                        dumpName("sales", true, 3)}));
    tvr::platform::injectRegionalFormats(std::nullopt);
}

}  // namespace
