#include "config/ViewSettings.h"

#include "config/SettingsKeys.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace tvr::config {

std::size_t logViewLines(std::string_view text) {
    std::size_t lines = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), lines);
    if (error == std::errc::result_out_of_range) return kMostLogViewLines;
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return kDefaultLogViewLines;
    return std::clamp(lines, kFewestLogViewLines, kMostLogViewLines);
}

std::size_t readLogViewLines(const platform::Registry& registry) {
    std::string text;
    if (registry.readDefaultText(settingKeyPath("EditLogViewLines"), text) !=
        platform::RegStatus::Ok)
        return kDefaultLogViewLines;
    return logViewLines(text);
}

}  // namespace tvr::config
