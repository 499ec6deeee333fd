#pragma once
// A LogSink for tests: keeps every line it is given, from any thread.
#include "client/LogSink.h"

#include <mutex>
#include <string>
#include <vector>

namespace tvr::client {

class RecordingLogSink final : public LogSink {
public:
    void addLines(const std::vector<LogLine>& lines) override;

    std::vector<LogLine> lines() const;
    std::vector<std::string> texts() const;  // the line texts alone
    int entries() const;                     // how many addLines calls were made
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<LogLine> lines_;
    int entries_ = 0;
};

}  // namespace tvr::client
