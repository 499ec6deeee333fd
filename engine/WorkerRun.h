#pragma once
// The worker of the current or last run, owned by the GUI thread. It is freed only once its
// thread has said it ended: freeing a running worker would join it, and the worker may be
// waiting for the GUI thread at that moment. A thread that waits for its end (the failover)
// holds a share of it, so that it never reads a worker the GUI thread has let go.
#include "engine/DumpLoadThread.h"

#include <memory>

namespace tvr::engine {

class TWorkerRun {
public:
    TWorkerRun() = default;
    ~TWorkerRun() = default;  // joins a worker still running (the program's very end)
    TWorkerRun(const TWorkerRun&) = delete;
    TWorkerRun& operator=(const TWorkerRun&) = delete;

    TDumpLoadThread* get() const { return worker_.get(); }
    std::shared_ptr<const TDumpLoadThread> Share() const { return worker_; }
    explicit operator bool() const { return worker_ != nullptr; }
    TDumpLoadThread* operator->() const { return worker_.get(); }
    // No worker, or one whose run has ended.
    bool Ended() const { return !worker_ || worker_->Finished(); }
    // Takes the worker of a new run, set up to start; the last one must have ended. The new
    // worker's watch goes on from the last run's.
    void Take(std::unique_ptr<TDumpLoadThread> worker);
    // Frees the last worker when its run has ended, keeping its watch; true when none is left.
    bool ReleaseEnded();
    // Asks a running worker to stop at its next step; nothing without one.
    void AskToStop();
    // The program's very end, once nothing the worker may wait for is left: asks it to stop
    // and frees it, joining its thread.
    void StopAndFree();

private:
    std::shared_ptr<TDumpLoadThread> worker_;
    TWatchStanding standing_;  // of the last run, once its worker is freed
};

}  // namespace tvr::engine
