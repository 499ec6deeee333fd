#pragma once
// The --trace file: every language command as it arrives, so a test can read exactly what a
// client sent. Each record is a line "-- connection N, L bytes" followed by the L bytes of the
// command and a line feed.
#include <mutex>
#include <string>

namespace tvr::sim {

class CommandTrace {
public:
    explicit CommandTrace(std::string path) : path_(std::move(path)) {}
    void record(int connectionId, const std::string& command);

private:
    std::string path_;
    std::mutex mutex_;
};

// One line on standard error, written whole, prefixed with the emulator's name.
void logLine(const std::string& serverName, const std::string& text);

}  // namespace tvr::sim
