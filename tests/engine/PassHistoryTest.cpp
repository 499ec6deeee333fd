// The pass history as files: a line reads back as the record it was written from (file names
// with commas and quotes, any UTC offset), each day's file gets one header, and reading from a
// day on skips older days, foreign files and a line a crash cut short.
#include "engine/PassHistory.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

using namespace tvr::engine;
using namespace std::chrono_literals;

namespace {

const HistoryClock::time_point kNoon =
    HistoryClock::from_time_t(1'796'644'800);  // 2026-12-07 12:00Z

TPassRecord record(HistoryClock::time_point start, std::string file, std::string outcome) {
    TPassRecord r;
    r.start = start;
    r.file = std::move(file);
    r.outcome = std::move(outcome);
    r.bytes = 81920;
    r.dumpSeconds = 0.412;
    r.loadSeconds = 0.388;
    r.lag = 3s;
    return r;
}

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The local time zone set for one test, and put back when it ends.
class InZone {
public:
    explicit InZone(const char* zone) {
        env_.emplace().set("TZ", zone);
        tzset();
    }
    ~InZone() {
        env_.reset();
        tzset();
    }

private:
    std::optional<tvr::testing::ScopedEnvironment> env_;
};

TEST(PassHistory, ALineReadsBackAsTheRecordItWasWrittenFrom) {
    TPassRecord full = record(kNoon, "sales07.12.2026120000.db", "dump failed");
    full.kind = PassKind::Full;
    full.bytes.reset();
    full.loadSeconds.reset();
    full.error = 8009;
    const TPassRecord odd = record(kNoon + 1s, "sa,\"les\"\r\n1.tr", "load failed");
    const TPassRecord comma = record(kNoon + 3s, "sa,les.tr", "ok");
    TPassRecord tail = record(kNoon + 2s, "sales07.12.2026120002.tr", "ok");
    tail.kind = PassKind::Tail;
    for (const char* zone : {"UTC0", "<-0330>3:30", "<+0545>-5:45"}) {
        SCOPED_TRACE(zone);
        const InZone inZone(zone);
        for (const TPassRecord& r : {record(kNoon, "sales.tr", "ok"), full, odd, comma, tail}) {
            const std::string line = historyLine(r);
            const auto back = parsePassHistory(historyHeader() + "\r\n" + line + "\r\n");
            ASSERT_EQ(back.size(), 1u) << line;
            EXPECT_EQ(back[0], r) << line;
        }
    }
}

TEST(PassHistory, EachDayHasItsFileWithOneHeaderAndIsReadFromTheDayGiven) {
    const InZone utc("UTC0");
    tvr::testing::TempFolder folder;
    const auto yesterday = kNoon - 24h;
    appendPassRecord(folder.string(), record(yesterday, "a.db", "ok"));
    appendPassRecord(folder.string(), record(kNoon, "b.tr", "ok"));
    appendPassRecord(folder.string(), record(kNoon + 60s, "c.tr", "load failed"));
    std::ofstream(folder / "history-backup.csv") << historyHeader() << "\r\n";
    // A crash in the middle of a line leaves it without its line end.
    std::ofstream(folder / "history-20261207.csv", std::ios::app) << "2026-12-07T12:02:00+00:";

    const std::string today = fileText(folder / "history-20261207.csv");
    EXPECT_EQ(today.find(historyHeader()), 0u);
    EXPECT_EQ(today.find(historyHeader(), 1), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder / "history-20261206.csv"));

    std::vector<std::string> files;
    for (const TPassRecord& r : readPassHistory(folder.string(), yesterday + 1h))
        files.push_back(r.file);
    EXPECT_EQ(files, (std::vector<std::string>{"a.db", "b.tr", "c.tr"}));
    files.clear();
    for (const TPassRecord& r : readPassHistory(folder.string(), kNoon)) files.push_back(r.file);
    EXPECT_EQ(files, (std::vector<std::string>{"b.tr", "c.tr"}));
    EXPECT_TRUE(readPassHistory((folder / "none").string(), kNoon).empty());
}

TEST(PassHistory, ThePassOutcomeIsTheFirstStepThatFailed) {
    const StepResult ok{StepOutcome::Ok, 0, false};
    const StepResult failed{StepOutcome::Failed, 4305, false};
    const StepResult notReached{};
    struct Case {
        StepResult dump, load;
        bool useReserve;
        std::string outcome;
        int error;
    } cases[] = {
        {ok, ok, true, "ok", 0},
        {ok, notReached, false, "ok", 0},
        {ok, failed, true, "load failed", 4305},
        {failed, notReached, true, "dump failed", 4305},
        {StepResult{StepOutcome::Failed, 0, true}, notReached, false, "dump failed", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(passOutcomeText(c.dump, c.load, c.useReserve), c.outcome);
        EXPECT_EQ(passErrorNumber(c.dump, c.load), c.error);
    }
}

}  // namespace
