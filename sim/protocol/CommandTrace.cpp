#include "sim/protocol/CommandTrace.h"

#include <unistd.h>
#include <cstdio>

namespace tvr::sim {

void CommandTrace::record(int connectionId, const std::string& command) {
    if (path_.empty()) return;
    std::string entry = "-- connection " + std::to_string(connectionId) + ", " +
                        std::to_string(command.size()) + " bytes\n" + command + "\n";
    std::lock_guard lock(mutex_);
    if (std::FILE* file = std::fopen(path_.c_str(), "ab")) {
        std::fwrite(entry.data(), 1, entry.size(), file);
        std::fclose(file);
    }
}

void logLine(const std::string& serverName, const std::string& text) {
    std::string line = "aseemu " + serverName + ": " + text + "\n";
    ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    (void)written;
}

}  // namespace tvr::sim
