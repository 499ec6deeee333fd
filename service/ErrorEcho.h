#pragma once
// The error view of a run without a window: every line of every error entry goes to standard
// error, which systemd keeps in the journal, so a failure shows where an administrator of a
// server looks, and not only in a log file.
#include "client/LogSink.h"

#include <cstdio>
#include <mutex>

namespace tvr::service {

class ErrorEcho final : public client::LogSink {
public:
    explicit ErrorEcho(std::FILE* out = stderr) : out_(out) {}
    // Any thread; the lines of one entry stay together.
    void addLines(const std::vector<client::LogLine>& lines) override;

private:
    std::FILE* out_;
    std::mutex mutex_;
};

}  // namespace tvr::service
