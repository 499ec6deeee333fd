#include "config/ViewSettings.h"

#include "config/SettingsKeys.h"

#include <algorithm>

namespace tvr::config {
namespace {

std::size_t withinRange(std::size_t lines) {
    return std::clamp(lines, kFewestLogViewLines, kMostLogViewLines);
}

}  // namespace

std::string viewSettingsKey() { return std::string(kSettingsBaseKey) + "\\Views"; }

std::size_t readLogViewLines(const platform::Registry& registry) {
    std::uint32_t value = 0;
    if (registry.readDWord(viewSettingsKey(), kLogViewLinesValue, value) != platform::RegStatus::Ok)
        return kDefaultLogViewLines;
    return withinRange(value);
}

void writeLogViewLines(platform::Registry& registry, std::size_t lines) {
    registry.writeDWord(viewSettingsKey(), kLogViewLinesValue,
                        static_cast<std::uint32_t>(withinRange(lines)));
}

}  // namespace tvr::config
