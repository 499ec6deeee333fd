#include "engine/PassHistory.h"

#include "engine/CsvText.h"

#include "platform/AtomicFile.h"
#include "platform/FileWrite.h"
#include "platform/Profile.h"
#include "platform/ScopeExit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tvr::engine {
namespace {

constexpr std::pair<PassKind, const char*> kKindTexts[] = {
    {PassKind::Full, "full"}, {PassKind::Transaction, "transaction"}, {PassKind::Tail, "tail"}};

constexpr const char* kHeader =
    "start,kind,file,bytes,dump_seconds,load_seconds,outcome,error,lag_seconds";
constexpr std::size_t kFields = 9;

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

template <typename T>
std::optional<T> number(const std::string& text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> seconds(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

std::optional<TPassRecord> recordOf(const std::vector<std::string>& f) {
    if (f.size() != kFields) return std::nullopt;
    TPassRecord record;
    const auto start = parseHistoryTime(f[0]);
    const auto kind = passKindOf(f[1]);
    if (!start || !kind) return std::nullopt;
    record.start = *start;
    record.kind = *kind;
    record.file = f[2];
    if (!f[3].empty()) {
        record.bytes = number<std::uintmax_t>(f[3]);
        if (!record.bytes) return std::nullopt;
    }
    const auto dump = seconds(f[4]);
    if (!dump || (!f[5].empty() && !seconds(f[5]))) return std::nullopt;
    record.dumpSeconds = *dump;
    record.loadSeconds = seconds(f[5]);
    record.outcome = f[6];
    const auto error = f[7].empty() ? std::optional<int>(0) : number<int>(f[7]);
    const auto lag = number<long long>(f[8]);
    if (!error || !lag) return std::nullopt;
    record.error = *error;
    record.lag = std::chrono::seconds(*lag);
    return record;
}

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

const char* passKindText(PassKind kind) {
    for (const auto& [each, text] : kKindTexts)
        if (each == kind) return text;
    return "transaction";
}

std::optional<PassKind> passKindOf(const std::string& text) {
    for (const auto& [each, name] : kKindTexts)
        if (text == name) return each;
    return std::nullopt;
}

std::string passOutcomeText(const StepResult& dump, const StepResult& load, bool useReserve) {
    if (dump.outcome != StepOutcome::Ok) return "dump failed";
    if (useReserve && load.outcome != StepOutcome::Ok) return "load failed";
    return "ok";
}

int passErrorNumber(const StepResult& dump, const StepResult& load) {
    if (dump.outcome == StepOutcome::Failed) return dump.error;
    if (load.outcome == StepOutcome::Failed) return load.error;
    return 0;
}

std::string historyFileName(const std::string& folder, const std::tm& day) {
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", (day.tm_year + 1900) % 10000,
                  (day.tm_mon + 1) % 100, day.tm_mday % 100);
    return folder + "/" + historyFilePrefix() + date + ".csv";
}

std::string historyFilePrefix() { return platform::profileQualified("history-"); }

std::string historyHeader() { return kHeader; }

std::string historyLine(const TPassRecord& r) {
    return historyTimeText(r.start) + "," + passKindText(r.kind) + "," + csvField(r.file) + "," +
           (r.bytes ? std::to_string(*r.bytes) : "") + "," + secondsText(r.dumpSeconds) + "," +
           (r.loadSeconds ? secondsText(*r.loadSeconds) : "") + "," + csvField(r.outcome) + "," +
           (r.error ? std::to_string(r.error) : "") + "," + std::to_string(r.lag.count());
}

void appendPassRecord(const std::string& folder, const TPassRecord& record) {
    const std::time_t t = HistoryClock::to_time_t(record.start);
    std::tm day{};
    localtime_r(&t, &day);
    const std::string file = historyFileName(folder, day);
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throwErrno("cannot open " + file);
    const auto closeFile = onScopeExit([fd] { ::close(fd); });
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) throwErrno("cannot lock " + file);
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) throwErrno("cannot read the size of " + file);
    std::string text = status.st_size == 0 ? historyHeader() + "\r\n" : std::string();
    text += historyLine(record) + "\r\n";
    if (!platform::writeWhole(fd, text)) throwErrno("cannot write " + file);
}

std::vector<TPassRecord> parsePassHistory(const std::string& text) {
    std::vector<TPassRecord> records;
    for (const auto& fields : csvRecords(text)) {
        if (auto record = recordOf(fields)) records.push_back(std::move(*record));
    }
    return records;
}

std::vector<TPassRecord> readPassHistory(const std::string& folder,
                                         HistoryClock::time_point since) {
    const std::time_t t = HistoryClock::to_time_t(since);
    std::tm day{};
    localtime_r(&t, &day);
    // Names of one pattern sort by date.
    const std::string first =
        std::filesystem::path(historyFileName(folder, day)).filename().string();
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == first.size() && name.starts_with(historyFilePrefix()) &&
            name.ends_with(".csv") && name >= first) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    std::vector<TPassRecord> records;
    for (const std::string& name : names) {
        const auto text = platform::readWholeFile(std::filesystem::path(folder) / name);
        if (!text) continue;
        for (auto& record : parsePassHistory(*text)) records.push_back(std::move(record));
    }
    return records;
}

std::string historyTimeText(HistoryClock::time_point when) {
    const std::time_t t = HistoryClock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    const int offset = static_cast<int>(local.tm_gmtoff / 60) % (100 * 60);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', std::abs(offset) / 60,
                  std::abs(offset) % 60);
    return text;
}

std::optional<HistoryClock::time_point> parseHistoryTime(const std::string& text) {
    std::tm utc{};
    char sign = 0;
    int offsetHours = 0;
    int offsetMinutes = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d%n", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &sign, &offsetHours,
                    &offsetMinutes, &used) != 9 ||
        used != static_cast<int>(text.size()) || (sign != '+' && sign != '-')) {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::time_t asUtc = timegm(&utc);
    const long offset = (offsetHours * 3600L + offsetMinutes * 60L) * (sign == '-' ? -1 : 1);
    return HistoryClock::from_time_t(asUtc - offset);
}

}  // namespace tvr::engine
