#include "config/ServerList.h"

#include "client/TextLines.h"
#include "platform/AtomicFile.h"
#include "platform/TextFolding.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tvr::config {
namespace {

// Blanks and control characters: what ends a server name in an interfaces line.
bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The whole file, or the reason it could not be read.
bool readWhole(const std::string& path, std::string& text, std::string& reason) {
    try {
        std::optional<std::string> bytes = platform::readWholeFile(path);
        if (!bytes) {
            reason = std::strerror(ENOENT);
            return false;
        }
        text = std::move(*bytes);
        return true;
    } catch (const std::system_error& error) {
        reason = std::strerror(error.code().value());
        return false;
    }
}

}  // namespace

std::vector<std::string> sqlIniServers(std::string_view text) {
    std::vector<std::string> servers;
    client::forEachLine(text, [&](std::string_view line) {
        if (platform::trimControls(line).substr(0, 2) == ";;") return;
        if (line.find('[') == std::string_view::npos) return;
        servers.emplace_back(line.size() < 2 ? std::string_view{}
                                             : line.substr(1, line.size() - 2));
    });
    return servers;
}

std::vector<std::string> interfacesServers(std::string_view text) {
    std::vector<std::string> servers;
    client::forEachLine(text, [&](std::string_view line) {
        if (line.empty() || isBlank(line.front()) || line.front() == '#') return;
        std::size_t end = 0;
        while (end < line.size() && !isBlank(line[end])) ++end;
        servers.emplace_back(line.substr(0, end));
    });
    return servers;
}

std::string sqlIniPath(const std::string& sybase) { return sybase + "/ini/sql.ini"; }

std::vector<std::string> readServerList(const std::string& sybase) {
    const std::string iniPath = sqlIniPath(sybase);
    std::string text;
    std::string reason;
    struct stat info {};
    if (::stat(iniPath.c_str(), &info) != 0 && errno == ENOENT) {
        const int missing = errno;
        if (readWhole(sybase + "/interfaces", text, reason)) return interfacesServers(text);
        reason = std::strerror(missing);
    } else if (readWhole(iniPath, text, reason)) {
        return sqlIniServers(text);
    }
    throw ServerListError("Cannot open file \"" + iniPath + "\". " + reason);
}

}  // namespace tvr::config
