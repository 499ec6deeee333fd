#include "ui/QueuedCall.h"

#include <QMetaObject>

#include <mutex>

namespace tvr::ui {

namespace {

std::mutex handOver;

}  // namespace

void queueCall(QObject* context, std::function<void()> call) {
    std::lock_guard lock(handOver);
    QMetaObject::invokeMethod(
        context,
        [call = std::move(call)] {
            // Taken once the call was queued whole, before its captures are read.
            { std::lock_guard taken(handOver); }
            call();
        },
        Qt::QueuedConnection);
}

}  // namespace tvr::ui
