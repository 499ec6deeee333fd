#pragma once
// SIGTERM and SIGINT taken in the event loop: the signal only wakes the loop, and `stop`
// runs there with the signal's number, as a click would.
#include "platform/StopSignals.h"

#include <QSocketNotifier>

#include <functional>

namespace tvr::ui {

class StopOnSignal {
public:
    // Needs a QCoreApplication; throws std::runtime_error when the signals cannot be watched.
    explicit StopOnSignal(std::function<void(int signal)> stop);

private:
    platform::StopSignals signals_;
    QSocketNotifier watch_;
    std::function<void(int)> stop_;
};

}  // namespace tvr::ui
