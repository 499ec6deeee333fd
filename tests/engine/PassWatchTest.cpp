// The watch over a run told by hand: what the window is shown and which error entries are
// written as passes succeed, fail and stall and the lag crosses its thresholds both ways.
#include "engine/PassWatch.h"

#include <gtest/gtest.h>

using namespace tvr::engine;
using namespace std::chrono_literals;

namespace {

class PassWatchTest : public ::testing::Test, public TWatchDisplay {
protected:
    void ShowWatch(const TWatchView& view) override { shown = view; }
    // The entries written since the last call.
    std::vector<std::string> newEntries() { return std::exchange(entries, {}); }

    const WatchClock::time_point t0 = WatchClock::time_point(1'800'000'000s);
    const TWatchLimits limits{15, 60, 30};
    const StepResult ok{StepOutcome::Ok, 0, false};
    std::vector<std::string> entries;
    TWatchView shown;
    TPassWatch watch{*this, [this](const std::string& text) { entries.push_back(text); }};
};

TEST_F(PassWatchTest, TheLagCountsFromTheDumpOfTheLastGoodLoadAndEachLevelChangeIsEnteredOnce) {
    watch.RunStarted(t0, true);
    watch.Tick(t0, limits);
    EXPECT_EQ(shown.lastGood, "no good load yet");
    EXPECT_EQ(shown.mainOutcome, "");
    EXPECT_EQ(shown.lag, "lag 00:00:00");

    watch.PassStarted(t0);
    watch.PassEnded(t0 + 10s, t0, ok, ok);
    watch.Tick(t0 + 20s, limits);
    EXPECT_EQ(shown.mainOutcome, "dump: ok");
    EXPECT_EQ(shown.reserveOutcome, "load: ok");
    EXPECT_EQ(shown.lag, "lag 00:00:20");
    EXPECT_TRUE(shown.lastGood.starts_with("good load "));

    // A failed pass keeps the lag running from the last good one.
    watch.PassStarted(t0 + 15min);
    watch.PassEnded(t0 + 15min, t0 + 15min, StepResult{StepOutcome::Failed, 8009, false},
                    StepResult{});
    watch.Tick(t0 + 15min, limits);
    EXPECT_EQ(shown.mainOutcome, "dump: failed (8009)");
    EXPECT_EQ(shown.reserveOutcome, "load: not reached");
    EXPECT_EQ(shown.level, AlertLevel::Warning);
    EXPECT_EQ(shown.alert, "Reserve behind by 00:15:00 (warning)");
    watch.Tick(t0 + 16min, limits);
    EXPECT_EQ(newEntries(),
              (std::vector<std::string>{"Lag warning: the reserve is 00:15:00 "
                                        "behind the main server (15 minutes allowed)"}));
    watch.Tick(t0 + 60min, limits);
    EXPECT_EQ(shown.level, AlertLevel::Critical);
    ASSERT_EQ(newEntries().size(), 1u);

    watch.PassStarted(t0 + 61min);
    watch.PassEnded(t0 + 62min, t0 + 61min, ok, ok);
    watch.Tick(t0 + 62min, limits);
    EXPECT_EQ(shown.level, AlertLevel::None);
    EXPECT_EQ(shown.alert, "");
    EXPECT_EQ(newEntries(), (std::vector<std::string>{
                                "Lag back below the thresholds: the reserve is 00:01:00 behind"}));
}

TEST_F(PassWatchTest, APassPastTheStallLimitIsCriticalEnteredOnceAndItsEndIsTimed) {
    watch.RunStarted(t0, false);
    watch.PassStarted(t0);
    watch.PassEnded(t0 + 1s, t0, ok, StepResult{});
    watch.PassStarted(t0 + 5s);
    watch.Tick(t0 + 30min, limits);
    EXPECT_FALSE(shown.stalled);
    EXPECT_EQ(shown.reserveOutcome, "");  // no reserve server: only the dump counts
    EXPECT_EQ(shown.lastGood.rfind("good dump ", 0), 0u);
    watch.Tick(t0 + 30min + 5s, limits);
    EXPECT_TRUE(shown.stalled);
    EXPECT_EQ(shown.level, AlertLevel::Critical);
    EXPECT_EQ(shown.alert, "Pass running for 00:30:00 (stalled)");
    watch.Tick(t0 + 31min, limits);
    ASSERT_EQ(newEntries().size(), 2u);  // the lag's warning and the stall, once each
    watch.PassEnded(t0 + 40min + 5s, t0 + 5s, ok, StepResult{});
    EXPECT_EQ(newEntries(), (std::vector<std::string>{"The stalled pass ended after 00:40:00"}));
    watch.Tick(t0 + 40min + 6s, limits);
    EXPECT_FALSE(shown.stalled);
    EXPECT_EQ(shown.level, AlertLevel::Warning);  // the lag alone: the load's dump began late
}

TEST_F(PassWatchTest, ABrokenChainIsCriticalAtOnceUntilAGoodLoadThenTheLagDecides) {
    watch.RunStarted(t0, true);
    watch.PassStarted(t0);
    watch.PassEnded(t0 + 10s, t0, ok, ok);
    watch.Tick(t0 + 10s, limits);
    ASSERT_EQ(shown.level, AlertLevel::None);

    const std::string broken =
        "Log chain broken: 4305: the dump does not follow the last one loaded (critical)";
    watch.PassStarted(t0 + 1min);
    watch.PassEnded(t0 + 1min, t0 + 1min, ok, StepResult{StepOutcome::Failed, 4305, false});
    watch.Tick(t0 + 1min, limits);  // a minute of lag: far below the thresholds
    EXPECT_EQ(shown.level, AlertLevel::Critical);
    EXPECT_EQ(shown.alert, broken);
    EXPECT_EQ(shown.chainBreak, "4305: the dump does not follow the last one loaded");
    EXPECT_EQ(newEntries(), (std::vector<std::string>{
                                "Log chain broken: 4305: the dump does not follow the last one "
                                "loaded; the reserve cannot advance until a full dump and load "
                                "(critical)"}));
    // A failure of another kind, or a new run of the same databases, mends nothing.
    watch.PassEnded(t0 + 2min, t0 + 2min, StepResult{StepOutcome::Failed, 0, true}, StepResult{});
    TPassWatch next{*this, [this](const std::string& text) { entries.push_back(text); }};
    next.Resume("", watch.Standing());
    next.RunStarted(t0 + 3min, true);
    EXPECT_EQ(next.Tick(t0 + 3min, limits).alert, broken);
    EXPECT_TRUE(newEntries().empty());

    next.PassStarted(t0 + 4min);
    next.PassEnded(t0 + 5min, t0 + 4min, ok, ok);
    next.Tick(t0 + 5min, limits);
    EXPECT_EQ(shown.level, AlertLevel::None);
    EXPECT_EQ(shown.alert, "");
    EXPECT_EQ(shown.chainBreak, "");
    EXPECT_EQ(
        newEntries(),
        (std::vector<std::string>{
            "Log chain whole again: a pass loaded its dump; the reserve is 00:01:00 behind"}));

    // Told by the pass runner, with the server's reasons in words.
    next.ChainBroken("its log was truncated since the last database dump");
    next.Tick(t0 + 6min, limits);
    EXPECT_EQ(shown.level, AlertLevel::Critical);
    EXPECT_EQ(shown.alert,
              "Log chain broken: its log was truncated since the last database dump (critical)");
}

}  // namespace
