#pragma once
// Carries calls made on other threads over to the GUI thread, in the order they are made.
// A call made on the GUI thread itself runs at once. `post` returns at once; `postAndWait`
// returns once the call has run, so a log line is in its view before the appending thread
// goes on. The GUI thread never waits here, and shutDown() releases every waiting thread,
// so a worker that the GUI thread joins at the end cannot hang on a call nobody will run.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace tvr::ui {

class TGuiThreadCalls {
public:
    // `context` lives on the GUI thread; calls are dropped once it is gone.
    explicit TGuiThreadCalls(QObject* context);
    ~TGuiThreadCalls();
    TGuiThreadCalls(const TGuiThreadCalls&) = delete;
    TGuiThreadCalls& operator=(const TGuiThreadCalls&) = delete;

    void post(std::function<void()> call);
    // `giveUp` (checked under the lock whenever wakeWaiters() runs) lets a waiter go before
    // its call has run, e.g. when the GUI thread is itself busy with what the call asks for.
    void postAndWait(std::function<void()> call, std::function<bool()> giveUp = {});
    // Wakes waiters so that they test their giveUp again; `change` runs under the lock first.
    void wakeWaiters(const std::function<void()>& change = {});
    // From now on nothing is posted and nobody waits.
    void shutDown();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool down = false;
        // Calls not yet run, in the order made. An event runs them all; the calling thread
        // pays for one only when none is on its way (a worker makes several calls a pass).
        std::deque<std::function<void()>> calls;
        bool scheduled = false;  // an event that runs the calls is on its way, not yet begun
    };
    // Queues `call` behind the others; under the lock.
    void enqueue(std::function<void()> call);
    static void runCalls(QObject* context, const std::shared_ptr<Shared>& shared);
    QObject* context_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace tvr::ui
