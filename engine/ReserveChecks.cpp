#include "engine/ReserveChecks.h"

#include "engine/ProcedureCall.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tvr::engine {
namespace {

constexpr long long kStatusForLoad = 32;
constexpr long long kStatus2Offline = 16;

std::optional<long long> firstNumber(client::TSybaseConnect& connection, const std::string& name) {
    const auto values = connection.ColumnValues(name);
    if (values.empty()) return std::nullopt;
    const std::string& text = values.front();
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The text between `open` and the next `close` after it in `text` (found in `lower`, its
// lower-case copy); none without both.
std::optional<std::string> between(const std::string& text, const std::string& lower,
                                   const std::string& open, const std::string& close,
                                   std::size_t from = 0) {
    const std::size_t start = lower.find(open, from);
    if (start == std::string::npos) return std::nullopt;
    const std::size_t first = start + open.size();
    const std::size_t end = lower.find(close, first);
    if (end == std::string::npos) return std::nullopt;
    return text.substr(first, end - first);
}

}  // namespace

DatabaseState databaseStateOf(long long status, long long status2) {
    if ((status2 & kStatus2Offline) == 0 && (status & kStatusForLoad) == 0) {
        return DatabaseState::Online;
    }
    // A load leaves the database offline with the "for load" bit; both, or the offline bit
    // alone after a load, mean the next load may follow. Suspect is offline, whatever else.
    if ((status & 256) != 0) return DatabaseState::Offline;
    return DatabaseState::Loading;
}

const char* databaseStateText(DatabaseState state) {
    switch (state) {
        case DatabaseState::Online:
            return "online";
        case DatabaseState::Loading:
            return "offline in its load sequence";
        case DatabaseState::Offline:
            return "offline";
    }
    return "offline";
}

std::string databaseStateStatement(const std::string& database) {
    return "select status, status2 from master..sysdatabases where name = \"" +
           quotedConstantText(database) + "\"";
}

std::optional<DatabaseState> databaseState(client::TSybaseConnect& connection,
                                           const std::string& database) {
    if (connection.ConnectionDead()) return std::nullopt;
    const auto errors = connection.ServerErrors();
    connection.Execute(databaseStateStatement(database));
    if (connection.ServerErrors() != errors) return std::nullopt;
    const auto status = firstNumber(connection, "status");
    const auto status2 = firstNumber(connection, "status2");
    if (!status || !status2) return std::nullopt;
    return databaseStateOf(*status, *status2);
}

std::optional<TDumpHeader> parseDumpHeader(const std::vector<std::string>& messages) {
    std::optional<TDumpHeader> header;
    for (const std::string& text : messages) {
        const std::string lower = lowered(text);
        const bool database =
            lower.find("this is a database dump of database") != std::string::npos;
        const bool log = lower.find("this is a log dump of database") != std::string::npos;
        if (database || log) {
            header.emplace();
            header->full = database;
            header->database = between(text, lower, "name '", "'").value_or("");
        }
        if (header && !header->full) {
            const std::size_t dates = lower.find("sequence dates");
            if (dates != std::string::npos) {
                header->sequenceOld = between(text, lower, "old=", ",", dates).value_or("");
                header->sequenceNew = between(text, lower, "new=", ")", dates).value_or("");
            }
        }
    }
    return header;
}

std::string headerOnlyStatement(bool full, const std::string& database, const std::string& path) {
    return std::string(full ? "load database " : "load tran ") + database + " from \"" +
           quotedConstantText(path) + "\" with headeronly";
}

std::optional<TDumpHeader> readDumpHeader(client::TSybaseConnect& connection, bool full,
                                          const std::string& database, const std::string& path) {
    if (connection.ConnectionDead()) return std::nullopt;
    const auto errors = connection.ServerErrors();
    connection.StartCapture();
    connection.Execute(headerOnlyStatement(full, database, path));
    const auto messages = connection.TakeCaptured();
    if (connection.ServerErrors() != errors) return std::nullopt;
    return parseDumpHeader(messages);
}

std::string headerMismatch(const TDumpHeader& header, const std::string& mainDatabase,
                           PassKind kind, const std::string& previousNew) {
    std::string differs;
    const auto add = [&](const std::string& text) {
        differs += (differs.empty() ? "" : "; ") + text;
    };
    if (header.database != mainDatabase) {
        add("it was dumped from database '" + header.database + "', not '" + mainDatabase + "'");
    }
    const bool full = kind == PassKind::Full;
    if (header.full != full) {
        add(std::string("it is a ") + (header.full ? "database" : "log") + " dump, not a " +
            (full ? "database" : "log") + " dump");
    }
    if (!full && !header.full && !previousNew.empty() && header.sequenceOld != previousNew) {
        add("it follows the dump of " + header.sequenceOld + ", not the one loaded last (" +
            previousNew + ")");
    }
    return differs;
}

}  // namespace tvr::engine
