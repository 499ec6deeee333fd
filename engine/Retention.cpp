#include "engine/Retention.h"

#include "engine/DumpFileName.h"

#include <algorithm>
#include <cctype>

namespace tvr::engine {
namespace {

namespace fs = std::filesystem;

std::tm moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    when.tm_isdst = -1;
    std::mktime(&when);
    return when;
}

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// `name` without its extension and copy number, or empty when it has no dump extension.
std::string stem(const std::string& name) {
    if (!name.ends_with(".db") && !name.ends_with(".tr")) return {};
    std::string base = name.substr(0, name.size() - 3);
    const std::size_t dash = base.rfind('-');
    if (dash != std::string::npos && dash + 1 < base.size() &&
        std::all_of(base.begin() + static_cast<std::ptrdiff_t>(dash) + 1, base.end(), isDigit)) {
        base.resize(dash);
    }
    return base;
}

}  // namespace

bool isDumpFileOf(const std::string& database, const std::string& name,
                  const platform::RegionalFormats& formats) {
    // Names of three moments whose every digit differs from one of the others: where they
    // differ lies the date and time, where they agree the database part and separators.
    const std::string names[] = {
        stem(dumpFileName(database, false, moment(2026, 12, 31, 23, 59, 58), formats)),
        stem(dumpFileName(database, false, moment(2011, 1, 2, 0, 0, 0), formats)),
        stem(dumpFileName(database, false, moment(1999, 9, 19, 14, 48, 47), formats)),
    };
    const std::string base = stem(name);
    if (base.empty() || base.size() != names[0].size() || names[1].size() != names[0].size() ||
        names[2].size() != names[0].size()) {
        return false;
    }
    for (std::size_t i = 0; i < base.size(); ++i) {
        const bool varies = names[0][i] != names[1][i] || names[0][i] != names[2][i];
        if (varies ? !isDigit(base[i]) : base[i] != names[0][i]) return false;
    }
    return true;
}

std::vector<fs::path> expiredHistoryFiles(const std::string& folder, HistoryClock::time_point now,
                                          int days) {
    const std::time_t t = HistoryClock::to_time_t(now - std::chrono::hours(24) * days);
    std::tm day{};
    localtime_r(&t, &day);
    const std::string first = fs::path(historyFileName(folder, day)).filename().string();
    std::vector<fs::path> expired;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::size_t prefix = historyFilePrefix().size();
        if (name.size() == first.size() && name.starts_with(historyFilePrefix()) &&
            name.ends_with(".csv") && name < first &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end() - 4,
                        isDigit)) {
            expired.push_back(entry.path());
        }
    }
    return expired;
}

}  // namespace tvr::engine
