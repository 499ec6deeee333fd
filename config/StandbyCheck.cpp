#include "config/StandbyCheck.h"

#include "client/LogBacklog.h"
#include "config/RunOptions.h"
#include "config/SettingsStore.h"
#include "engine/WatchRules.h"
#include "platform/Environment.h"
#include "platform/Profile.h"

#include <algorithm>
#include <ctime>
#include <exception>

namespace tvr::config {
namespace {

using engine::HistoryClock;

// "2026-12-06 16:02:11": with its date, so that a load of yesterday never reads as today's.
std::string whenText(HistoryClock::time_point when) {
    const std::time_t seconds = HistoryClock::to_time_t(when);
    std::tm at{};
    localtime_r(&seconds, &at);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &at);
    return text;
}

// Nagios performance data: the lag in seconds with its thresholds (empty when off).
std::string performanceData(std::chrono::seconds lag, int warningMinutes, int criticalMinutes) {
    const auto limit = [](int minutes) {
        return minutes > 0 ? std::to_string(minutes * 60) : std::string();
    };
    return " | lag=" + std::to_string(lag.count()) + "s;" + limit(warningMinutes) + ";" +
           limit(criticalMinutes);
}

// A reason on the one line a check prints.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

HistoryClock::time_point loadEnd(const engine::TPassRecord& record) {
    const double seconds = record.dumpSeconds + record.loadSeconds.value_or(0);
    return record.start + std::chrono::duration_cast<HistoryClock::duration>(
                              std::chrono::duration<double>(seconds));
}

}  // namespace

CheckAnswer judgeStandby(const std::vector<engine::TPassRecord>& history,
                         HistoryClock::time_point now, int warningMinutes, int criticalMinutes,
                         const std::optional<std::string>& logFault) {
    if (history.empty()) return {kCheckUnknown, "UNKNOWN: no pass history"};
    const auto good = std::find_if(history.rbegin(), history.rend(),
                                   [](const engine::TPassRecord& r) { return r.good(); });
    const HistoryClock::time_point from =
        good != history.rend() ? good->start : history.front().start;
    const auto lag = std::max(std::chrono::duration_cast<std::chrono::seconds>(now - from),
                              std::chrono::seconds(0));
    const engine::AlertLevel level = engine::lagLevel(lag, warningMinutes, criticalMinutes);
    const std::string since = good != history.rend() ? ", last load " + whenText(loadEnd(*good))
                                                     : ", no good load since " + whenText(from);
    const engine::TPassRecord& last = history.back();
    const std::string lastPass =
        last.good() ? std::string()
                    : ", last pass " + last.outcome +
                          (last.error ? " (" + std::to_string(last.error) + ")" : std::string());

    // A pass since the last good load that broke the log chain: the reserve cannot advance
    // until a full dump and load, whatever the lag says now.
    const auto broke = std::find_if(history.rbegin(), good, [](const engine::TPassRecord& r) {
        return engine::isChainBreakError(r.error);
    });
    const std::string fault = logFault ? ", " + *logFault : std::string();
    const std::string perf = performanceData(lag, warningMinutes, criticalMinutes);
    if (broke != good) {
        return {kCheckCritical,
                "CRITICAL: log chain broken (" + engine::chainBreakErrorText(broke->error) + ")" +
                    since + (broke == history.rbegin() ? std::string() : lastPass) + fault + perf};
    }

    std::string line = "lag " + std::to_string(lag.count()) + " s";
    if (level == engine::AlertLevel::Warning)
        line += " (warning at " + std::to_string(warningMinutes * 60) + " s)";
    if (level == engine::AlertLevel::Critical)
        line += " (critical at " + std::to_string(criticalMinutes * 60) + " s)";
    line += since + lastPass + fault + perf;
    switch (level) {
        case engine::AlertLevel::None:
            // A failed last pass (a server down, a refused logon) or a log that cannot be
            // written is worth a look at once; the lag alone decides when it is critical.
            if (!last.good() || logFault) return {kCheckWarning, "WARNING: " + line};
            return {kCheckOk, "OK: " + line};
        case engine::AlertLevel::Warning:
            return {kCheckWarning, "WARNING: " + line};
        case engine::AlertLevel::Critical:
            break;
    }
    return {kCheckCritical, "CRITICAL: " + line};
}

CheckAnswer standbyAnswer(const platform::Registry& registry, HistoryClock::time_point now) {
    CheckAnswer answer;
    try {
        const TDumpLoadSettings settings = readStoredSettings(registry);
        const std::string folder =
            settings.EditLogPath.empty() ? platform::sybaseValue() : settings.EditLogPath;
        const int keepDays = engine::minutesSetting(settings.EditKeepHistoryDays, 90);
        const auto since =
            keepDays > 0 ? now - std::chrono::hours(24) * keepDays : HistoryClock::time_point();
        answer =
            judgeStandby(engine::readPassHistory(folder, since), now,
                         engine::minutesSetting(settings.EditLagWarning, 15),
                         engine::minutesSetting(settings.EditLagCritical, 60),
                         client::readLogFaultFile(client::logFaultFileBeside(registry.file())));
        if (answer.code == kCheckUnknown) answer.line += " in " + folder;
    } catch (const std::exception& error) {
        answer = {kCheckUnknown, "UNKNOWN: " + oneLine(error.what())};
    }
    return answer;
}

int checkStandby(const platform::Registry& registry, std::ostream& out,
                 HistoryClock::time_point now) {
    const CheckAnswer answer = standbyAnswer(registry, now);
    out << answer.line << "\n" << std::flush;
    return answer.code;
}

std::optional<int> answerCheck(int argc, char** argv, std::ostream& out) {
    std::vector<std::string> parameters(argv + std::min(argc, 1), argv + argc);
    if (std::find(parameters.begin(), parameters.end(), "--check") == parameters.end())
        return std::nullopt;
    try {
        // Each profile keeps its own registry file and history names.
        const RunOptions options = takeRunOptions(parameters);
        if (options.profile) platform::setProfile(*options.profile);
        const platform::Registry registry;
        return checkStandby(registry, out, HistoryClock::now());
    } catch (const std::exception& error) {
        out << "UNKNOWN: " << oneLine(error.what()) << "\n" << std::flush;
        return kCheckUnknown;
    }
}

}  // namespace tvr::config
