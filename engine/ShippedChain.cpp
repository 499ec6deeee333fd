#include "engine/ShippedChain.h"

#include "client/LogLineStyle.h"
#include "engine/Retention.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <map>
#include <string_view>

namespace tvr::engine {
namespace {

constexpr std::string_view kMounted = "mounted on disk file '";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The time of day an informational entry ends with (after two blanks), placed on the last day
// up to `now` on which it had come.
std::optional<ChainClock::time_point> entryTime(std::string_view line, const std::string& longTime,
                                                ChainClock::time_point now) {
    const std::size_t at = line.rfind("  ");
    if (at == std::string_view::npos) return std::nullopt;
    const std::string text(line.substr(at + 2));
    std::tm when{};
    const char* end = ::strptime(text.c_str(), longTime.c_str(), &when);
    if (!end || *end != '\0') return std::nullopt;
    const std::time_t nowSeconds = ChainClock::to_time_t(now);
    std::tm day{};
    ::localtime_r(&nowSeconds, &day);
    day.tm_hour = when.tm_hour;
    day.tm_min = when.tm_min;
    day.tm_sec = when.tm_sec;
    day.tm_isdst = -1;
    std::time_t seconds = std::mktime(&day);
    if (seconds > nowSeconds) {
        --day.tm_mday;
        day.tm_isdst = -1;
        seconds = std::mktime(&day);
    }
    return ChainClock::from_time_t(seconds);
}

std::string mountedFile(std::string_view line) {
    const std::size_t from = line.find(kMounted) + kMounted.size();
    const std::size_t to = line.find('\'', from);
    std::string_view path = line.substr(from, to == std::string_view::npos ? to : to - from);
    const std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    return std::string(path);
}

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::string_view(text).substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::vector<TShippedDump> shippedDumpsFromLog(const std::string& text, const std::string& longTime,
                                              ChainClock::time_point now) {
    enum class Step { None, Dump, Load } step = Step::None;
    std::vector<TShippedDump> dumps;
    std::string loadFile;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string::npos) to = text.size();
        std::string_view line(text.data() + from, to - from);
        from = to + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        if (startsWith(line, "Start Dump")) {
            step = Step::Dump;
            dumps.push_back({});
            dumps.back().started = entryTime(line, longTime, now);
        } else if (startsWith(line, "Start Load")) {
            step = Step::Load;
            loadFile.clear();
        } else if (line.find(client::kErrMarker) != std::string_view::npos) {
            // An error before the step completed: the step failed.
            step = Step::None;
        } else if (step == Step::None) {
            continue;
        } else if (line.find(kMounted) != std::string_view::npos) {
            if (step == Step::Dump) {
                dumps.back().file = mountedFile(line);
                dumps.back().full = endsWith(dumps.back().file, ".db");
            } else {
                loadFile = mountedFile(line);
            }
        } else if (step == Step::Dump && line.find("DUMP is complete") != std::string_view::npos) {
            dumps.back().dumped = !dumps.back().file.empty();
            step = Step::None;
        } else if (step == Step::Load && line.find("LOAD is complete") != std::string_view::npos) {
            const auto it = std::find_if(dumps.rbegin(), dumps.rend(), [&](const auto& dump) {
                return dump.dumped && dump.file == loadFile;
            });
            if (it != dumps.rend()) it->loaded = true;
            step = Step::None;
        }
    }
    return dumps;
}

std::string activityLogsText(const std::string& folder, const std::string& database) {
    namespace fs = std::filesystem;
    std::map<std::string, fs::path> byDay;  // YYYYMMDD to file
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != database.size() + 12 || !startsWith(name, database) ||
            !endsWith(name, ".log"))
            continue;
        const std::string date = name.substr(database.size(), 8);
        if (!std::all_of(date.begin(), date.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        byDay[date.substr(4, 4) + date.substr(2, 2) + date.substr(0, 2)] = entry.path();
    }
    std::string text;
    for (const auto& [day, path] : byDay) {
        if (auto bytes = platform::readWholeFile(path)) {
            text += *bytes;
            text += "\r\n";
        }
    }
    return text;
}

std::vector<TShippedDump> shippedDumpsFromHistory(const std::vector<TPassRecord>& records,
                                                  const std::string& database,
                                                  const platform::RegionalFormats& formats) {
    std::vector<TShippedDump> dumps;
    for (const TPassRecord& record : records) {
        if (!isDumpFileOf(database, record.file, formats)) continue;
        TShippedDump& dump = dumps.emplace_back();
        dump.file = record.file;
        dump.full = record.kind == PassKind::Full;
        dump.tail = record.kind == PassKind::Tail;
        dump.dumped = record.outcome != "dump failed";
        dump.loaded = record.good() && record.loadSeconds.has_value();
        dump.started = record.start;
    }
    return dumps;
}

std::vector<TShippedDump> recordedShippedDumps(const std::string& folder,
                                               const std::string& database,
                                               const std::function<std::string()>& activityLogs,
                                               ChainClock::time_point now) {
    const platform::RegionalFormats formats = platform::regionalFormats();
    // Every day the history keeps: the last full pass may lie days back.
    auto dumps = shippedDumpsFromHistory(readPassHistory(folder, ChainClock::time_point()),
                                         database, formats);
    if (checkShippedChain(dumps).fullLoaded) return dumps;
    return shippedDumpsFromLog(activityLogs(), formats.longTime, now);
}

TChainState checkShippedChain(const std::vector<TShippedDump>& dumps) {
    TChainState state;
    const auto lastFull = std::find_if(dumps.rbegin(), dumps.rend(),
                                       [](const auto& dump) { return dump.full && dump.loaded; });
    if (lastFull == dumps.rend()) return state;
    state.fullLoaded = true;
    std::size_t index = static_cast<std::size_t>(dumps.rend() - lastFull) - 1;
    state.lastLoaded = index;
    for (++index; index < dumps.size(); ++index) {
        const TShippedDump& dump = dumps[index];
        // A full dump that was not loaded leaves the reserve's chain as it was.
        if (!dump.dumped || dump.full) continue;
        if (!dump.loaded) {
            state.missing = index;
            break;
        }
        state.lastLoaded = index;
    }
    return state;
}

std::vector<TShippedDump> shippedDumpsFromLedger(const std::vector<TLedgerEntry>& entries,
                                                 const std::string& pair) {
    std::vector<TShippedDump> dumps;
    for (const TLedgerDump& made : ledgerState(entries, pair).chain) {
        dumps.push_back({made.file, made.kind == PassKind::Full, true, made.loaded, made.made,
                         made.kind == PassKind::Tail, made.sequenceNew});
    }
    return dumps;
}

}  // namespace tvr::engine
