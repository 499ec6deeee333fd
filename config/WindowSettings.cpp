#include "config/WindowSettings.h"

#include "config/BooleanText.h"
#include "config/SettingsError.h"
#include "config/SettingsKeys.h"

#include <charconv>
#include <vector>

namespace tvr::config {
namespace {

constexpr std::string_view kPlaceName = "Place";
constexpr std::string_view kReadOnlyName = "ActivityReadOnly";

}  // namespace

std::string windowKeyPath() { return std::string(kSettingsBaseKey) + "\\Window"; }

std::string windowPlaceText(const TWindowPlace& place) {
    return std::to_string(place.x) + ',' + std::to_string(place.y) + ',' +
           std::to_string(place.width) + ',' + std::to_string(place.height) +
           (place.maximized ? ",max" : "");
}

std::optional<TWindowPlace> parseWindowPlace(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t comma = text.find(',', from);
        parts.push_back(text.substr(from, comma - from));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    if (parts.size() != 4 && !(parts.size() == 5 && parts[4] == "max")) return std::nullopt;
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::string_view part = parts[static_cast<std::size_t>(i)];
        const auto [end, error] =
            std::from_chars(part.data(), part.data() + part.size(), numbers[i]);
        if (error != std::errc() || end != part.data() + part.size() || part.empty())
            return std::nullopt;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0) return std::nullopt;
    return TWindowPlace{numbers[0], numbers[1], numbers[2], numbers[3], parts.size() == 5};
}

std::optional<TWindowPlace> readWindowPlace(const platform::Registry& registry) {
    std::string text;
    if (registry.readText(windowKeyPath(), kPlaceName, text) != platform::RegStatus::Ok)
        return std::nullopt;
    return parseWindowPlace(text);
}

void writeWindowPlace(platform::Registry& registry, const TWindowPlace& place) {
    registry.writeText(windowKeyPath(), kPlaceName, windowPlaceText(place));
}

bool readActivityReadOnly(const platform::Registry& registry) {
    std::string text;
    if (registry.readText(windowKeyPath(), kReadOnlyName, text) != platform::RegStatus::Ok)
        return false;
    try {
        return parseBooleanText(text);
    } catch (const SettingsError&) {
        return false;  // a view option is not worth a message: the view takes typing as before
    }
}

void writeActivityReadOnly(platform::Registry& registry, bool readOnly) {
    registry.writeText(windowKeyPath(), kReadOnlyName, booleanText(readOnly));
}

}  // namespace tvr::config
