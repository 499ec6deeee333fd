#include "ui/GuiThreadCalls.h"

#include <QThread>

namespace tvr::ui {

TGuiThreadCalls::TGuiThreadCalls(QObject* context)
    : context_(context), shared_(std::make_shared<Shared>()) {}

TGuiThreadCalls::~TGuiThreadCalls() { shutDown(); }

void TGuiThreadCalls::post(std::function<void()> call) {
    if (QThread::currentThread() == context_->thread()) {
        call();
        return;
    }
    // Posting under the lock keeps shutDown() from racing the context's destruction.
    std::lock_guard lock(shared_->mutex);
    if (shared_->down) return;
    QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
}

void TGuiThreadCalls::postAndWait(std::function<void()> call, std::function<bool()> giveUp) {
    if (QThread::currentThread() == context_->thread()) {
        call();
        return;
    }
    auto ran = std::make_shared<bool>(false);
    std::unique_lock lock(shared_->mutex);
    if (shared_->down) return;
    QMetaObject::invokeMethod(
        context_,
        [shared = shared_, ran, call = std::move(call)] {
            call();
            {
                std::lock_guard done(shared->mutex);
                *ran = true;
            }
            shared->done.notify_all();
        },
        Qt::QueuedConnection);
    shared_->done.wait(lock, [&] { return *ran || shared_->down || (giveUp && giveUp()); });
}

void TGuiThreadCalls::wakeWaiters(const std::function<void()>& change) {
    {
        std::lock_guard lock(shared_->mutex);
        if (change) change();
    }
    shared_->done.notify_all();
}

void TGuiThreadCalls::shutDown() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->down = true;
    }
    shared_->done.notify_all();
}

}  // namespace tvr::ui
