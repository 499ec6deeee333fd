#include "ui/StopOnSignal.h"

namespace tvr::ui {

StopOnSignal::StopOnSignal(std::function<void(int)> stop)
    : watch_(signals_.descriptor(), QSocketNotifier::Read), stop_(std::move(stop)) {
    QObject::connect(&watch_, &QSocketNotifier::activated, [this] {
        // A second signal while the first stop is under way asks for the same stop again.
        while (const int signal = signals_.take()) stop_(signal);
    });
}

}  // namespace tvr::ui
