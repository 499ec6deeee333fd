#include "engine/DumpFileName.h"

#include "platform/TextFolding.h"

#include <algorithm>
#include <charconv>
#include <ctime>

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

// The date and time when the user's formats leave no room for the database.
constexpr const char* kCompactStamp = "%Y%m%d%H%M%S";

std::string withoutSeparators(std::string text) {
    std::erase_if(text, [](char c) { return c == '-' || c == ':' || c == '/' || c == '\\'; });
    return text;
}

// The largest length <= `length` that does not cut a UTF-8 character in two.
std::size_t utf8Boundary(const std::string& text, std::size_t length) {
    while (length > 0 && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    return length;
}

}  // namespace

std::string dumpFileName(const std::string& databaseName, bool transaction, const std::tm& when,
                         const platform::RegionalFormats& formats, int copy) {
    // The date is taken before the time; both come from the same moment here.
    std::string stamp =
        withoutSeparators(formatWith(formats.shortDate, when) + formatWith(formats.longTime, when));
    const std::string tail =
        (copy > 1 ? "-" + std::to_string(copy) : std::string()) + (transaction ? ".tr" : ".db");
    if (stamp.size() + tail.size() >= kProcedureNameLimit) stamp = formatWith(kCompactStamp, when);
    std::string database = withoutSeparators(databaseName);
    const std::size_t room = kProcedureNameLimit - stamp.size() - tail.size();
    if (database.size() > room) database.resize(utf8Boundary(database, room));
    return database + stamp + tail;
}

std::size_t longestDumpFileName(const std::string& databaseName,
                                const platform::RegionalFormats& formats) {
    // Two-digit fields, the longest month and day names, and both halves of a 12-hour day.
    static constexpr int kMoments[][6] = {
        {2026, 12, 31, 23, 59, 58},
        {2026, 9, 30, 11, 59, 58},
        {2026, 5, 17, 12, 0, 0},
        {2026, 1, 1, 1, 1, 1},
    };
    std::size_t longest = 0;
    for (const auto& m : kMoments) {
        std::tm when{};
        when.tm_year = m[0] - 1900;
        when.tm_mon = m[1] - 1;
        when.tm_mday = m[2];
        when.tm_hour = m[3];
        when.tm_min = m[4];
        when.tm_sec = m[5];
        when.tm_isdst = -1;
        std::mktime(&when);
        longest = std::max(
            longest, dumpFileName(databaseName, true, when, formats, kMaxDumpFileCopies).size());
    }
    return longest;
}

std::string freeDumpFileName(const std::string& databaseName, bool transaction, const std::tm& when,
                             const platform::RegionalFormats& formats,
                             const std::function<bool(const std::string& name)>& taken) {
    std::string name;
    for (int copy = 1; copy <= kMaxDumpFileCopies; ++copy) {
        name = dumpFileName(databaseName, transaction, when, formats, copy);
        if (!taken(name)) break;
    }
    return name;
}

std::optional<long> intervalSeconds(const std::string& text, char separator) {
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
