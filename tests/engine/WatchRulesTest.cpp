// The rules that judge a pass and the standby's lag: step outcomes from return statuses,
// the back-off after failures, alert levels at their thresholds, and the words for a log
// chain that cannot be dumped or has broken, and the gauge that tells a broken chain.
#include "engine/PassMetrics.h"
#include "engine/WatchRules.h"

#include <gtest/gtest.h>

using namespace tvr::engine;
using namespace std::chrono_literals;

namespace {

TEST(WatchRules, AStepIsJudgedByItsReturnStatusThenByItsConnection) {
    struct Case {
        std::optional<int> status;
        bool alive;
        int lastError;
        StepResult result;
        std::string text;
    };
    const Case cases[] = {
        {1, true, 0, {StepOutcome::Ok, 0, false}, "ok"},
        // A message of an earlier command does not spoil a step that returned 1.
        {1, true, 4221, {StepOutcome::Ok, 0, false}, "ok"},
        {-4306, true, 4306, {StepOutcome::Failed, 4306, false}, "failed (4306)"},
        // The procedure never ran (missing): the server's error stands for it.
        {std::nullopt, true, 2812, {StepOutcome::Failed, 2812, false}, "failed (2812)"},
        {std::nullopt, false, 0, {StepOutcome::Failed, 0, true}, "failed (connection lost)"},
        {0, true, 0, {StepOutcome::Failed, 0, false}, "failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const StepResult result = stepResultOf(c.status, c.alive, c.lastError);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(stepResultText(result), c.text);
    }
    EXPECT_EQ(stepResultText(StepResult{}), "not reached");
}

TEST(WatchRules, TheBackOffDoublesFromOneSecondAndStopsAtAMinute) {
    const int expected[] = {0, 1, 2, 4, 8, 16, 32, 60, 60, 60};
    for (int failures = 0; failures < 10; ++failures)
        EXPECT_EQ(backoffSeconds(failures), expected[failures]) << failures;
    EXPECT_EQ(backoffSeconds(1000000), 60);
}

TEST(WatchRules, TheLagReachesEachLevelAtItsThresholdAndAZeroThresholdIsOff) {
    struct Case {
        std::chrono::seconds lag;
        int warning;
        int critical;
        AlertLevel level;
    };
    const Case cases[] = {
        {14min + 59s, 15, 60, AlertLevel::None},
        {15min, 15, 60, AlertLevel::Warning},
        {59min + 59s, 15, 60, AlertLevel::Warning},
        {60min, 15, 60, AlertLevel::Critical},
        {5h, 0, 60, AlertLevel::Critical},
        {5h, 15, 0, AlertLevel::Warning},
        {5h, 0, 0, AlertLevel::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(lagText(c.lag) + " " + std::to_string(c.warning) + "/" +
                     std::to_string(c.critical));
        EXPECT_EQ(lagLevel(c.lag, c.warning, c.critical), c.level);
    }
}

TEST(WatchRules, LagTextCountsDaysAndNeverGoesBelowZero) {
    EXPECT_EQ(lagText(0s), "00:00:00");
    EXPECT_EQ(lagText(3h + 2min + 1s), "03:02:01");
    EXPECT_EQ(lagText(24h * 8 + 1h), "8 d 01:00:00");
    EXPECT_EQ(lagText(-5s), "00:00:00");
}

TEST(WatchRules, EveryReasonOfTheChainCheckIsNamedAndUnknownOnesByNumber) {
    EXPECT_EQ(chainBreakText(32), "its log was truncated since the last database dump");
    EXPECT_EQ(chainBreakText(8 | 64),
              "the option trunc log on chkpt is set; it was never dumped as a whole");
    EXPECT_EQ(chainBreakText(2 | 2048), "its log shares the data's device; reason code 2048");
}

TEST(WatchRules, OnlyTheOutOfSequenceLoadsAndTheRefusedLogDumpsBreakTheChain) {
    const struct {
        int error;
        bool broken;
    } cases[] = {{4305, true},  {4306, true},  {4207, true},  {4221, true},  {0, false},
                 {8009, false}, {3105, false}, {4208, false}, {-4305, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(isChainBreakError(c.error), c.broken);
        const std::string reason = chainBreakErrorText(c.error);
        EXPECT_EQ(reason.starts_with(std::to_string(c.error) + ": "), c.broken) << reason;
        EXPECT_EQ(reason.empty(), !c.broken);
    }
    EXPECT_EQ(chainBreakErrorText(4305), "4305: the dump does not follow the last one loaded");
}

TEST(WatchRules, TheChainGaugeIsOneFromAChainBreakUntilAGoodPass) {
    const auto gauge = [](const TPassMetrics& m) {
        const std::string text = metricsText(m);
        EXPECT_NE(text.find("# TYPE tvr_chain_broken gauge\n"), std::string::npos);
        const auto at = text.find("\ntvr_chain_broken ");
        return at == std::string::npos ? std::string() : text.substr(at + 18, 1);
    };
    TPassMetrics metrics;
    EXPECT_EQ(gauge(metrics), "0");
    TPassRecord pass;
    pass.outcome = "load failed";
    pass.error = 4305;
    metrics.Count(pass);
    EXPECT_EQ(gauge(metrics), "1");
    pass.outcome = "dump failed";  // another failure leaves the chain broken
    pass.error = 0;
    metrics.Count(pass);
    EXPECT_EQ(gauge(metrics), "1");
    pass.outcome = "ok";
    metrics.Count(pass);
    EXPECT_EQ(gauge(metrics), "0");
}

TEST(WatchRules, AThresholdSettingIsAWholeNumberOfMinutesOrItsDefault) {
    EXPECT_EQ(minutesSetting("15", 1), 15);
    EXPECT_EQ(minutesSetting(" 0 ", 1), 0);
    for (const char* bad : {"", "-5", "1.5", "abc", "15m", "100001"})
        EXPECT_EQ(minutesSetting(bad, 7), 7) << bad;
}

}  // namespace
