#include "config/ViewSettings.h"

#include "config/BooleanText.h"
#include "config/SettingsError.h"
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

bool readWrapLines(const platform::Registry& registry) {
    std::string text;
    if (registry.readDefaultText(settingKeyPath(kWrapLinesEntry), text) != platform::RegStatus::Ok)
        return false;
    try {
        return parseBooleanText(text);
    } catch (const SettingsError&) {
        return false;  // a view option is not worth a message: the view shows as by default
    }
}

void writeWrapLines(platform::Registry& registry, bool wrap) {
    registry.writeDefaultText(settingKeyPath(kWrapLinesEntry), booleanText(wrap));
}

}  // namespace tvr::config
