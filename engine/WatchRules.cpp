#include "engine/WatchRules.h"

#include "platform/TextFolding.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

namespace tvr::engine {

StepResult stepResultOf(std::optional<int> returnStatus, bool connectionAlive,
                        int lastServerError) {
    if (returnStatus == 1) return {StepOutcome::Ok, 0, false};
    if (returnStatus && *returnStatus < 0) return {StepOutcome::Failed, -*returnStatus, false};
    if (!connectionAlive) return {StepOutcome::Failed, 0, true};
    return {StepOutcome::Failed, lastServerError, false};
}

std::string stepResultText(const StepResult& result) {
    switch (result.outcome) {
        case StepOutcome::Ok:
            return "ok";
        case StepOutcome::NotReached:
            return "not reached";
        case StepOutcome::Failed:
            break;
    }
    if (result.connectionLost) return "failed (connection lost)";
    if (result.error != 0) return "failed (" + std::to_string(result.error) + ")";
    return "failed";
}

bool isOutOfSequenceLoad(int error) { return error == 4305 || error == 4306; }

namespace {

// One table of the errors that break the chain, with their plain words.
constexpr std::pair<int, const char*> kChainBreakErrors[] = {
    {4305, "the dump does not follow the last one loaded"},
    {4306, "the reserve database changed since its last load"},
    {4207, "a non-logged operation ran since the last database dump"},
    {4221, "the log was truncated since the last database dump, or there was none"},
};

}  // namespace

bool isChainBreakError(int serverError) { return !chainBreakErrorText(serverError).empty(); }

std::string chainBreakErrorText(int serverError) {
    for (const auto& [error, words] : kChainBreakErrors)
        if (error == serverError) return std::to_string(error) + ": " + words;
    return {};
}

int backoffSeconds(int failures) {
    if (failures <= 0) return 0;
    if (failures > 6) return 60;
    return std::min(60, 1 << (failures - 1));
}

AlertLevel lagLevel(std::chrono::seconds lag, int warningMinutes, int criticalMinutes) {
    const auto reached = [&](int minutes) {
        return minutes > 0 && lag >= std::chrono::minutes(minutes);
    };
    if (reached(criticalMinutes)) return AlertLevel::Critical;
    if (reached(warningMinutes)) return AlertLevel::Warning;
    return AlertLevel::None;
}

const char* alertLevelName(AlertLevel level) {
    switch (level) {
        case AlertLevel::Warning:
            return "warning";
        case AlertLevel::Critical:
            return "critical";
        case AlertLevel::None:
            break;
    }
    return "none";
}

std::string lagText(std::chrono::seconds lag) {
    const long long total = std::max<long long>(0, lag.count());
    const long long days = total / 86400;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total % 86400 / 3600,
                  total % 3600 / 60, total % 60);
    return (days > 0 ? std::to_string(days) + " d " : std::string()) + text;
}

std::string chainBreakText(int status) {
    // The bits of the server's reference manual for tran_dumpable_status; the rarer ones
    // (read-only, archive and standby databases) are given by number.
    static const std::pair<int, const char*> kReasons[] = {
        {1, "the database does not exist"},
        {2, "its log shares the data's device"},
        {4, "its log's first page is not on a log device"},
        {8, "the option trunc log on chkpt is set"},
        {16, "an unlogged operation ran since the last database dump"},
        {32, "its log was truncated since the last database dump"},
        {64, "it was never dumped as a whole"},
        {128, "its durability keeps no log to dump"},
    };
    std::string text;
    int known = 0;
    for (const auto& [bit, words] : kReasons) {
        known |= bit;
        if (status & bit) text += (text.empty() ? "" : "; ") + std::string(words);
    }
    if (status & ~known) {
        text += (text.empty() ? "" : "; ") + std::string("reason code ") +
                std::to_string(status & ~known);
    }
    return text;
}

int minutesSetting(const std::string& text, int fallback) {
    const std::string_view digits = platform::trimBlanks(text);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || digits.front() == '-' || error != std::errc() ||
        end != digits.data() + digits.size() || value > 100000) {
        return fallback;
    }
    return value;
}

}  // namespace tvr::engine
