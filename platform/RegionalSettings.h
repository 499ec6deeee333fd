#pragma once
// The user's short date, long time and time separator, taken from the locale's LC_TIME
// (LC_ALL, LC_TIME, LANG). Tests inject fixed formats so that log entries are exact.
#include <ctime>
#include <optional>
#include <string>

namespace tvr::platform {

struct RegionalFormats {
    std::string shortDate;  // strftime pattern, e.g. "%m/%d/%y"
    std::string longTime;   // strftime pattern, e.g. "%H:%M:%S"
    char timeSeparator = ':';
};

// The formats in force: the injected ones, else those of the environment's locale.
RegionalFormats regionalFormats();

// Replaces the formats for the whole process; nothing restores the locale's.
void injectRegionalFormats(std::optional<RegionalFormats> formats);

// The formats of a named locale ("" for the environment's), read afresh.
RegionalFormats localeFormats(const std::string& localeName);

std::string formatShortDate(const std::tm& when);
std::string formatLongTime(const std::tm& when);

// Local broken-down time of now (thread-safe).
std::tm localNow();

}  // namespace tvr::platform
