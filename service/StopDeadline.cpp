#include "service/StopDeadline.h"

#include "client/LogFileNames.h"
#include "client/LogWriter.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace tvr::service {

StopDeadline::StopDeadline(std::function<void()> atDeadline, int code, std::chrono::seconds grace,
                           std::function<bool()> holdOn) {
    thread_ = std::thread([this, atDeadline = std::move(atDeadline), code, grace,
                           holdOn = std::move(holdOn)] {
        std::unique_lock lock(mutex_);
        if (ended_.wait_for(lock, grace, [this] { return disarmed_; })) return;
        while (holdOn && holdOn()) {
            if (ended_.wait_for(lock, std::chrono::milliseconds(500), [this] { return disarmed_; }))
                return;
        }
        atDeadline();
        std::fflush(nullptr);
        // Without the destructors: they would wait for the very worker that does not end.
        ::_exit(code);
    });
}

StopDeadline::~StopDeadline() {
    {
        std::lock_guard lock(mutex_);
        disarmed_ = true;
    }
    ended_.notify_all();
    thread_.join();
}

void reportStopDeadline() {
    const std::string text = "The run did not end within " + std::to_string(kStopGraceSeconds) +
                             " s of the stop (a call without an answer, or a box): the "
                             "program ends now and its connections close; the next start "
                             "takes the pass up from the ledger";
    try {
        client::writeProgramError(text, {client::LogFileName(), client::ErrorLogFileName()}, false);
    } catch (...) {
    }
    std::fprintf(stderr, "tvr: %s\n", text.c_str());
}

}  // namespace tvr::service
