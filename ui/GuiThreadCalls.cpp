#include "ui/GuiThreadCalls.h"

#include "ui/QueuedCall.h"

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
    enqueue(std::move(call));
}

void TGuiThreadCalls::enqueue(std::function<void()> call) {
    shared_->calls.push_back(std::move(call));
    if (shared_->scheduled) return;
    shared_->scheduled = true;
    queueCall(context_, [context = context_, shared = shared_] { runCalls(context, shared); });
}

void TGuiThreadCalls::runCalls(QObject* context, const std::shared_ptr<Shared>& shared) {
    {
        std::lock_guard lock(shared->mutex);
        shared->scheduled = false;
    }
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(shared->mutex);
            // Down: the context is going, perhaps by the call just run.
            if (shared->calls.empty() || shared->down) return;
            call = std::move(shared->calls.front());
            shared->calls.pop_front();
            // A call that opens a modal loop: the calls behind it run in that loop, as they
            // would if each had an event of its own; otherwise this loop takes them first.
            if (!shared->calls.empty() && !shared->scheduled) {
                shared->scheduled = true;
                queueCall(context, [context, shared] { runCalls(context, shared); });
            }
        }
        call();
    }
}

void TGuiThreadCalls::postAndWait(std::function<void()> call, std::function<bool()> giveUp) {
    if (QThread::currentThread() == context_->thread()) {
        call();
        return;
    }
    auto ran = std::make_shared<bool>(false);
    std::unique_lock lock(shared_->mutex);
    if (shared_->down) return;
    // In the same queue as the posted calls, so that it runs after those made before it.
    enqueue([shared = shared_, ran, call = std::move(call)] {
        call();
        {
            std::lock_guard done(shared->mutex);
            *ran = true;
        }
        shared->done.notify_all();
    });
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
    // Calls that will never run are dropped here: a waiting caller's call holds the shared
    // state, which would otherwise keep itself alive. They are destroyed outside the lock.
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->down = true;
        dropped.swap(shared_->calls);
    }
    shared_->done.notify_all();
}

}  // namespace tvr::ui
