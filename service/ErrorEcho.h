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

// The activity view while the service logs on: of its entries only the client library's own
// messages, which say why a connection could not be made (a server name that cannot be
// resolved, a server that does not answer) and go to the activity log alone. They are single
// red lines; the lines of error records, which the error view echoes already, are left out.
class ClientMessageEcho final : public client::LogSink {
public:
    explicit ClientMessageEcho(ErrorEcho& out) : out_(out) {}
    void addLines(const std::vector<client::LogLine>& lines) override;

private:
    ErrorEcho& out_;
};

}  // namespace tvr::service
