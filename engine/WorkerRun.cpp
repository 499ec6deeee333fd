#include "engine/WorkerRun.h"

#include <stdexcept>

namespace tvr::engine {

void TWorkerRun::Take(std::unique_ptr<TDumpLoadThread> worker) {
    if (!Ended()) throw std::logic_error("A new worker while the last one still runs");
    if (worker_) standing_ = worker_->WatchStanding();
    worker_ = std::move(worker);
    if (worker_) worker_->ResumeWatch(standing_);
}

bool TWorkerRun::ReleaseEnded() {
    if (!Ended()) return false;
    if (worker_) standing_ = worker_->WatchStanding();
    worker_.reset();
    return true;
}

void TWorkerRun::AskToStop() {
    if (worker_) worker_->StopRequested = true;
}

void TWorkerRun::StopAndFree() {
    AskToStop();
    worker_.reset();
}

}  // namespace tvr::engine
