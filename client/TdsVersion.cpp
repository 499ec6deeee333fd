#include "client/TdsVersion.h"

#include "platform/Environment.h"
#include "platform/TextFolding.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace tvr::client {
namespace {

std::string lowered(std::string_view s) { return platform::asciiLower(s); }

std::string trimmed(std::string_view s) { return std::string(platform::trimWhitespace(s)); }

// An option name as FreeTDS compares it: small letters, runs of blanks made one blank.
std::string optionName(const std::string& raw) {
    std::string out;
    bool blank = false;
    for (char c : trimmed(raw)) {
        if (c == ' ' || c == '\t') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

struct FileReading {
    bool exists = false;
    bool hasServerSection = false;
    std::string globalVersion;
    std::string serverVersion;
};

FileReading readConfigFile(const std::string& path, const std::string& server) {
    FileReading r;
    std::ifstream in(path);
    if (!in) return r;
    r.exists = true;
    const std::string wanted = lowered(server);
    std::string section;
    std::string line;
    while (std::getline(in, line)) {
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t[0] == '[') {
            const auto close = t.find(']');
            section = lowered(
                trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            if (section == wanted) r.hasServerSection = true;
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos || optionName(t.substr(0, eq)) != "tds version") continue;
        const std::string value = trimmed(t.substr(eq + 1));
        if (section == "global")
            r.globalVersion = value;
        else if (section == wanted)
            r.serverVersion = value;
    }
    return r;
}

}  // namespace

std::vector<std::string> freeTdsConfigFiles() {
    std::vector<std::string> files;
    if (auto p = platform::environmentValue("FREETDSCONF")) files.push_back(*p);
    if (auto p = platform::environmentValue("FREETDS")) files.push_back(*p + "/etc/freetds.conf");
    if (auto p = platform::environmentValue("HOME")) files.push_back(*p + "/.freetds.conf");
    files.emplace_back("/etc/freetds/freetds.conf");
    return files;
}

std::string configuredTdsVersion(const std::string& serverName,
                                 const std::vector<std::string>& files) {
    std::string version;
    for (const std::string& file : files) {
        const FileReading r = readConfigFile(file, serverName);
        if (!r.exists) continue;
        if (!r.globalVersion.empty()) version = r.globalVersion;
        if (r.hasServerSection) {
            if (!r.serverVersion.empty()) version = r.serverVersion;
            break;
        }
    }
    return version;
}

bool userConfiguredTdsVersion(const std::string& serverName) {
    if (!platform::environmentValue("TDSVER").value_or("").empty()) return true;
    const std::string v = lowered(configuredTdsVersion(serverName, freeTdsConfigFiles()));
    return !v.empty() && v != "auto";
}

}  // namespace tvr::client
