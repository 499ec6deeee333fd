#pragma once
// The end a stop signal promises, whatever the program is doing when it comes: a box nobody
// answers, a reconnect's back-off, a server that does not answer. The stop is asked for as
// usual (the pass under way may finish); if the program has not ended kStopGraceSeconds later,
// `atDeadline` says so and the process ends at once with `code`. The kernel closes the
// connections; the ledger already tells a dump begun and never ended, which the next start
// deletes, and a load never recorded, which it loads again.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tvr::service {

// Short of the 10 s a service manager or a shutdown is promised, with room to spare.
inline constexpr int kStopGraceSeconds = 8;

class StopDeadline {
public:
    // `holdOn` (when given) defers the end for as long as it says so: a failover under way is
    // never cut between the load of its last dump and the reserve brought online.
    StopDeadline(std::function<void()> atDeadline, int code,
                 std::chrono::seconds grace = std::chrono::seconds(kStopGraceSeconds),
                 std::function<bool()> holdOn = {});
    // The program ended in time: nothing happens.
    ~StopDeadline();
    StopDeadline(const StopDeadline&) = delete;
    StopDeadline& operator=(const StopDeadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool disarmed_ = false;
    std::thread thread_;
};

// The lines that say why the program ends before the pass under way did: in both logs and on
// standard error.
void reportStopDeadline();

}  // namespace tvr::service
