#include "platform/RegionalSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <mutex>

namespace tvr::platform {
namespace {

std::mutex formatsMutex;
std::optional<RegionalFormats> injected;

// %T, %R and %r stand for whole time patterns; spell them out so the separator can be found.
std::string expandCompositeTime(const std::string& pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == 'T') {
                out += "%H:%M:%S";
                ++i;
                continue;
            }
            if (c == 'R') {
                out += "%H:%M";
                ++i;
                continue;
            }
            if (c == 'r') {
                out += "%I:%M:%S %p";
                ++i;
                continue;
            }
            out += pattern[i];
            out += c;
            ++i;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

char separatorAfterHour(const std::string& timePattern) {
    for (std::size_t i = 0; i + 2 < timePattern.size(); ++i) {
        if (timePattern[i] != '%') continue;
        std::size_t j = i + 1;
        // Skip glibc flags and the E/O modifiers before the conversion letter.
        while (j < timePattern.size() &&
               (timePattern[j] == 'E' || timePattern[j] == 'O' || timePattern[j] == '-' ||
                timePattern[j] == '_' || timePattern[j] == '0'))
            ++j;
        if (j >= timePattern.size()) break;
        const char c = timePattern[j];
        if ((c == 'H' || c == 'I' || c == 'k' || c == 'l') && j + 1 < timePattern.size())
            return timePattern[j + 1];
        i = j;
    }
    return ':';
}

std::string formatWith(const std::string& pattern, const std::tm& when) {
    if (pattern.empty()) return {};
    std::array<char, 256> buf{};
    const std::size_t n = std::strftime(buf.data(), buf.size(), pattern.c_str(), &when);
    return std::string(buf.data(), n);
}

}  // namespace

RegionalFormats localeFormats(const std::string& localeName) {
    RegionalFormats f{"%m/%d/%y", "%H:%M:%S", ':'};
    locale_t loc = newlocale(LC_TIME_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
        loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    if (loc != static_cast<locale_t>(nullptr)) {
        const char* d = nl_langinfo_l(D_FMT, loc);
        const char* t = nl_langinfo_l(T_FMT, loc);
        if (d && *d) f.shortDate = d;
        if (t && *t) f.longTime = expandCompositeTime(t);
        freelocale(loc);
    }
    f.timeSeparator = separatorAfterHour(f.longTime);
    return f;
}

RegionalFormats regionalFormats() {
    std::lock_guard lock(formatsMutex);
    if (injected) return *injected;
    // The environment's locale does not change while the program runs: read it once.
    static const RegionalFormats fromEnvironment = localeFormats("");
    return fromEnvironment;
}

void injectRegionalFormats(std::optional<RegionalFormats> formats) {
    std::lock_guard lock(formatsMutex);
    injected = std::move(formats);
}

std::string formatShortDate(const std::tm& when) {
    return formatWith(regionalFormats().shortDate, when);
}

std::string formatLongTime(const std::tm& when) {
    return formatWith(regionalFormats().longTime, when);
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm out{};
    localtime_r(&now, &out);
    return out;
}

}  // namespace tvr::platform
