#include "engine/DumpFileName.h"

#include "platform/TextFolding.h"

#include <algorithm>
#include <charconv>

namespace tvr::engine {
namespace {

std::string formatWith(const std::string& pattern, const std::tm& when) {
    if (pattern.empty()) return {};
    char buffer[256];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern.c_str(), &when);
    return std::string(buffer, n);
}

// A field of one or two digits in [0, max].
std::optional<int> timeField(const std::string& text, int max) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    // Digits only: the conversion below would take a sign.
    if (std::any_of(text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string DumpFileName(const std::string& databaseName, bool transaction, const std::tm& when,
                         const platform::RegionalFormats& formats) {
    // The date is taken before the time; both come from the same moment here.
    std::string name = databaseName + formatWith(formats.shortDate, when) +
                       formatWith(formats.longTime, when) + (transaction ? ".tr" : ".db");
    std::erase_if(name, [](char c) { return c == '-' || c == ':' || c == '/' || c == '\\'; });
    return name;
}

std::optional<long> IntervalSeconds(const std::string& text, char separator) {
    const std::string trimmed(platform::trimBlanks(text));

    const std::size_t a = trimmed.find(separator);
    if (a == std::string::npos) return std::nullopt;
    const std::size_t b = trimmed.find(separator, a + 1);
    const auto hours = timeField(trimmed.substr(0, a), 23);
    const auto minutes = timeField(
        trimmed.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1), 59);
    std::optional<int> seconds = 0;
    if (b != std::string::npos) seconds = timeField(trimmed.substr(b + 1), 59);
    if (!hours || !minutes || !seconds) return std::nullopt;
    return long{*hours} * 3600 + long{*minutes} * 60 + *seconds;
}

}  // namespace tvr::engine
