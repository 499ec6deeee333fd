#include "sim/procs/SpTvr.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace tvr::sim {
namespace {

constexpr std::size_t kDatabaseNameWidth = 30;
constexpr std::size_t kPathnameWidth = 250;
constexpr std::size_t kDeviceNameWidth = 30;
constexpr std::size_t kDevnameWidth = 100;

// "1", " 1 ", "+1", "-3", "007": what the server converts to int; nullopt otherwise.
std::optional<int> toInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    long long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        v = v * 10 + (text[i++] - '0');
        if (v > INT_MAX) return std::nullopt;
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i != text.size()) return std::nullopt;
    return static_cast<int>(negative ? -v : v);
}

std::optional<std::string> cut(const std::optional<std::string>& text, std::size_t width) {
    if (!text) return std::nullopt;
    return text->substr(0, width);
}

// The line of the procedure text on which needle stands (case-insensitive), or fallback.
int lineOf(const std::string& text, const std::string& needle, int fallback) {
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    const std::string hay = lower(text);
    const auto at = hay.find(lower(needle));
    if (at == std::string::npos) return fallback;
    // Lines count from the create statement, as the server numbers them.
    const auto start = hay.find("create");
    const std::size_t from = start == std::string::npos || start > at ? 0 : start;
    return 1 + static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(from),
                                           text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

}  // namespace

const char* spTvrParameterName(int parameter) {
    static const char* names[] = {"@TypeTrans", "@database_name", "@pr_dump",
                                  "@pr_load",   "@pathname",      "@device_name"};
    return parameter >= 0 && parameter < SpTvrParameterCount ? names[parameter] : "";
}

SpTvrOutcome runSpTvr(const std::array<ProcedureArgument, SpTvrParameterCount>& arguments,
                      SpTvrActions& actions, const std::string& procedureText) {
    // Every parameter but @device_name lacks a default.
    for (int p = TypeTrans; p < DeviceName; ++p) {
        if (!arguments[static_cast<std::size_t>(p)].present) {
            actions.callError(errors::missingParameter("sp_TVR", spTvrParameterName(p)));
            return {};
        }
    }
    std::array<std::optional<int>, SpTvrParameterCount> ints;
    for (int p : {TypeTrans, PrDump, PrLoad}) {
        const auto& value = arguments[static_cast<std::size_t>(p)].value;
        if (!value) continue;  // NULL: every comparison with it is false
        ints[static_cast<std::size_t>(p)] = toInt(*value);
        if (!ints[static_cast<std::size_t>(p)]) {
            actions.callError(errors::badConversion());
            return {};
        }
    }
    const auto typeTrans = ints[TypeTrans];
    const auto prDump = ints[PrDump];
    const auto prLoad = ints[PrLoad];
    const auto database = cut(arguments[DatabaseName].value, kDatabaseNameWidth).value_or("");
    const auto pathname = cut(arguments[Pathname].value, kPathnameWidth);
    const auto deviceName = cut(arguments[DeviceName].value, kDeviceNameWidth);
    // select @devname = @pathname+@device_name: concatenation with NULL keeps the other side.
    std::string devname;
    if (pathname) devname += *pathname;
    if (deviceName) devname += *deviceName;
    devname = devname.substr(0, kDevnameWidth);

    const std::string& text = procedureText;
    if (prDump == 1) {
        actions.print("Start Dump", lineOf(text, "print \"Start Dump\"", 28));
        int error = 0;
        if (typeTrans == 0) {
            const BackupResult truncated =
                actions.truncateLog(database, lineOf(text, "dump tran @database_name with", 33));
            if (truncated.dropConnection || truncated.cancelled)
                return {std::nullopt, truncated.dropConnection, truncated.cancelled};
            const BackupResult dumped =
                actions.dumpDatabase(database, devname, lineOf(text, "DUMP DATABASE", 34));
            if (dumped.dropConnection || dumped.cancelled)
                return {std::nullopt, dumped.dropConnection, dumped.cancelled};
            error = dumped.error;
        } else if (typeTrans == 1) {
            const BackupResult dumped =
                actions.dumpTransaction(database, devname, lineOf(text, "dump transaction", 38));
            if (dumped.dropConnection || dumped.cancelled)
                return {std::nullopt, dumped.dropConnection, dumped.cancelled};
            error = dumped.error;
        }
        if (error != 0) {
            actions.print("LOG DUMP ERROR: " + std::to_string(error),
                          lineOf(text, "print \"LOG DUMP ERROR", 44));
            return {error > 0 ? -error : error, false};
        }
        return {1, false};
    }
    if (prLoad == 1) {
        actions.print("Start Load", lineOf(text, "print \"Start Load\"", 54));
        BackupResult loaded;
        if (typeTrans == 0) {
            loaded = actions.loadDatabase(database, devname, lineOf(text, "LOAD DATABASE", 56));
        } else if (deviceName) {
            // "if @device_name!=NULL": with the server's default NULL handling, a test for not NULL.
            loaded =
                actions.loadTransaction(database, devname, lineOf(text, "LOAD TRANSACTION", 59));
        }
        if (loaded.dropConnection || loaded.cancelled)
            return {std::nullopt, loaded.dropConnection, loaded.cancelled};
        if (loaded.error == 0) return {1, false};
        return {loaded.error > 0 ? -loaded.error : loaded.error, false};
    }
    return {1, false};
}

}  // namespace tvr::sim
