#include "config/ServerList.h"

#include "platform/TextFolding.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvr::config {
namespace {

// The lines of `text`; a line ends at CR, LF or CR LF, and a final line end starts no line.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        out.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

// Blanks and control characters: what ends a server name in an interfaces line.
bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The whole file, or the reason it could not be read.
bool readWhole(const std::string& path, std::string& text, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace

std::vector<std::string> sqlIniServers(std::string_view text) {
    std::vector<std::string> servers;
    for (std::string_view line : lines(text)) {
        if (platform::trimControls(line).substr(0, 2) == ";;") continue;
        if (line.find('[') == std::string_view::npos) continue;
        servers.emplace_back(line.size() < 2 ? std::string_view{}
                                             : line.substr(1, line.size() - 2));
    }
    return servers;
}

std::vector<std::string> interfacesServers(std::string_view text) {
    std::vector<std::string> servers;
    for (std::string_view line : lines(text)) {
        if (line.empty() || isBlank(line.front()) || line.front() == '#') continue;
        std::size_t end = 0;
        while (end < line.size() && !isBlank(line[end])) ++end;
        servers.emplace_back(line.substr(0, end));
    }
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
