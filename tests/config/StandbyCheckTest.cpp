// The check a monitoring system runs, judged from histories told by hand: the lag from the
// last good load against each threshold, a history without a good load, a failed last pass
// named and warned of, a log that cannot be written, no history at all; the performance data
// after the text.
#include "config/StandbyCheck.h"

#include <gtest/gtest.h>

#include <regex>

using namespace tvr::config;
using namespace tvr::engine;
using namespace std::chrono_literals;

namespace {

const HistoryClock::time_point kNow = HistoryClock::from_time_t(1'796'644'800);

TPassRecord pass(std::chrono::seconds ago, std::string outcome, int error = 0) {
    TPassRecord r;
    r.start = kNow - ago;
    r.outcome = std::move(outcome);
    r.error = error;
    return r;
}

TEST(StandbyCheck, TheLagFromTheLastGoodLoadMeetsTheThresholds) {
    const struct {
        std::vector<TPassRecord> history;
        int warning, critical;
        int code;
        std::string start, end;
    } cases[] = {
        {{pass(42s, "ok")}, 15, 60, kCheckOk, "OK: lag 42 s, last load ", ""},
        {{pass(1000s, "ok")},
         15,
         60,
         kCheckWarning,
         "WARNING: lag 1000 s (warning at 900 s), ",
         ""},
        {{pass(900s, "ok")}, 15, 60, kCheckWarning, "WARNING: lag 900 s", ""},
        {{pass(4000s, "ok"), pass(30s, "load failed", 3105)},
         15,
         60,
         kCheckCritical,
         "CRITICAL: lag 4000 s (critical at 3600 s), last load ",
         ", last pass load failed (3105)"},
        {{pass(100s, "dump failed", 8009), pass(40s, "dump failed")},
         15,
         60,
         kCheckWarning,
         "WARNING: lag 100 s, no good load since 2026-",
         ", last pass dump failed"},
        {{pass(42s, "ok"), pass(20s, "ok")},
         15,
         60,
         kCheckWarning,
         "WARNING: lag 20 s, last load 2026-",
         ", cannot write the activity log /x: Permission denied"},
        {{pass(99999s, "ok")}, 0, 0, kCheckOk, "OK: lag 99999 s", ""},
        {{}, 15, 60, kCheckUnknown, "UNKNOWN: no pass history", ""},
        // A broken log chain is critical whatever the lag, until a good load.
        {{pass(60s, "ok"), pass(30s, "load failed", 4305)},
         15,
         60,
         kCheckCritical,
         "CRITICAL: log chain broken (4305: the dump does not follow the last one loaded), "
         "last load ",
         ""},
        {{pass(60s, "dump failed", 4221), pass(30s, "dump failed")},
         15,
         60,
         kCheckCritical,
         "CRITICAL: log chain broken (4221: ",
         ", last pass dump failed"},
        {{pass(60s, "load failed", 4306), pass(30s, "ok")}, 15, 60, kCheckOk, "OK: lag 30 s", ""},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> fault = c.end.find("cannot write") != std::string::npos
                                                     ? std::optional<std::string>(c.end.substr(2))
                                                     : std::nullopt;
        const CheckAnswer answer = judgeStandby(c.history, kNow, c.warning, c.critical, fault);
        SCOPED_TRACE(answer.line);
        EXPECT_EQ(answer.code, c.code);
        EXPECT_EQ(answer.line.substr(0, c.start.size()), c.start);
        const auto perf = answer.line.find(" | ");
        if (c.code == kCheckUnknown) {
            EXPECT_EQ(perf, std::string::npos);
            continue;
        }
        EXPECT_TRUE(answer.line.substr(0, perf).ends_with(c.end));
        // Nagios performance data: the lag and both thresholds in seconds, empty when off.
        const auto off = [](int minutes) {
            return minutes ? std::to_string(minutes * 60) : std::string();
        };
        EXPECT_TRUE(std::regex_match(
            answer.line.substr(perf),
            std::regex(R"( \| lag=\d+s;)" + off(c.warning) + ";" + off(c.critical))));
    }
}

}  // namespace
