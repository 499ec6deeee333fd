#include "sim/procs/SystemProcedures.h"

#include <algorithm>
#include <cctype>

namespace tvr::sim {
namespace {

Column textColumn(const std::string& name, int length, bool nullable = false) {
    Column c;
    c.name = name;
    c.kind = ColumnKind::VarChar;
    c.length = length;
    c.nullable = nullable;
    return c;
}

Column intColumn(const std::string& name, bool nullable = false) {
    Column c;
    c.name = name;
    c.kind = ColumnKind::Int;
    c.length = 4;
    c.nullable = nullable;
    return c;
}

ResultSet shellOutput(const std::vector<std::string>& lines) {
    ResultSet r;
    r.columns = {textColumn("xp_cmdshell", 255, true)};
    for (const auto& line : lines) {
        if (line.empty())
            r.rows.push_back({Value{}});
        else
            r.rows.push_back({Value{line}});
    }
    return r;
}

std::string collapseBlanks(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

}  // namespace

ResultSet helpServerResult(const std::string& serverName,
                           const std::optional<std::string>& backupNetworkName,
                           const std::string& entryName) {
    ResultSet r;
    r.columns = {textColumn("name", 30),  textColumn("network_name", 32),
                 textColumn("class", 20), textColumn("status", 100),
                 intColumn("id"),         intColumn("cost", true)};
    std::vector<Row> rows;
    rows.push_back({Value{serverName}, Value{serverName}, Value{std::string("local")},
                    Value{std::string()}, Value{std::int64_t{0}}, Value{}});
    if (backupNetworkName) {
        rows.push_back(
            {Value{entryName}, Value{*backupNetworkName}, Value{std::string("ASEnterprise")},
             Value{std::string(
                 "timeouts, no net password encryption, writable, rpc security model A")},
             Value{std::int64_t{1}}, Value{}});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::get<std::string>(a[0]) < std::get<std::string>(b[0]);
    });
    r.rows = std::move(rows);
    return r;
}

ResultSet configureResult(const std::string& parameterName, int defaultValue, int runValue) {
    ResultSet r;
    r.columns = {textColumn("Parameter Name", 80),
                 intColumn("Default"),
                 intColumn("Memory Used"),
                 intColumn("Config Value"),
                 intColumn("Run Value"),
                 textColumn("Unit", 20),
                 textColumn("Type", 10)};
    r.rows.push_back({Value{parameterName}, Value{std::int64_t{defaultValue}},
                      Value{std::int64_t{0}}, Value{std::int64_t{runValue}},
                      Value{std::int64_t{runValue}}, Value{std::string("switch")},
                      Value{std::string("dynamic")}});
    return r;
}

ShellOutcome runShellCommand(const std::string& command, BackupServer& backup) {
    const std::string cmd = collapseBlanks(command);
    const std::string prefix = "net start ";
    if (!startsWithNoCase(cmd, prefix)) {
        // Nothing else is run here; the output says so, as a command's own output would.
        ShellOutcome out;
        out.output = shellOutput({"aseemu: '" + cmd +
                                      "' was not run: this emulator runs only net start of its "
                                      "own Backup Server.",
                                  ""});
        out.status = 1;
        return out;
    }
    std::string service = cmd.substr(prefix.size());
    if (service.size() >= 2 && service.front() == '"' && service.back() == '"')
        service = service.substr(1, service.size() - 2);
    const std::string expected = "Sybase BCKServer _ " + backup.networkName();
    ShellOutcome out;
    if (!equalNoCase(collapseBlanks(service), expected)) {
        out.output = shellOutput({"The service name is invalid.", "",
                                  "More help is available by typing NET HELPMSG 2185.", ""});
        out.status = 1;
        return out;
    }
    if (!backup.start()) {
        out.output = shellOutput({"The requested service has already been started.", "",
                                  "More help is available by typing NET HELPMSG 2182.", ""});
        out.status = 1;
        return out;
    }
    out.output = shellOutput({"The " + expected + " service is starting.",
                              "The " + expected + " service was started successfully.", ""});
    return out;
}

std::vector<ResultSet> helpTextResults(const std::string& text) {
    ResultSet chunks;
    chunks.columns = {textColumn("text", 255)};
    for (std::size_t i = 0; i < text.size(); i += 255)
        chunks.rows.push_back({Value{text.substr(i, 255)}});
    ResultSet count;
    count.columns = {intColumn("# Lines of Text")};
    count.rows.push_back({Value{static_cast<std::int64_t>(chunks.rows.size())}});
    return {count, chunks};
}

}  // namespace tvr::sim
