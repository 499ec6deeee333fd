#pragma once
// The Failover and Switchover commands on the GUI thread: the question that names both
// servers and databases (default No), the fence chosen, the stop of processing as a
// confirmed Stop makes it, and the failover itself on a thread of its own, which waits until
// the worker has ended (the pass under way finishes) so that no connection is ever used by
// two threads. The GUI thread never waits for it; its end is reported through the callback,
// and the program's end asks it to stop at its safe point (RequestStop) and then waits for
// that report while it keeps serving its events.
#include "engine/Connections.h"
#include "engine/Failover.h"
#include "engine/ProcessingControl.h"
#include "engine/ProcessingHost.h"
#include "engine/WorkerRun.h"
#include "platform/Prompts.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace tvr::engine {

// The services of a failover run by the program: the activity and error logs of the run,
// the dumps read back from the ledger `ledgerFile` (for the pair of `plan`), or, when it
// records none, from the pass history and activity logs beside the run's log file, the
// tail and the promoted mark recorded in both, the system's clock.
TFailoverServices programFailoverServices(const std::string& ledgerFile, const TFailoverPlan& plan);

// A failover of this process is running: a forced end now could leave the reserve loaded but
// not online. Any thread.
bool failoverUnderWay();

class TFailoverControl {
public:
    // Called on the failover's thread when it has ended; the report and the plan it ran.
    using Finished = std::function<void(const TFailoverPlan&, const TFailoverReport&)>;

    // Nothing is owned; all must outlive the object.
    TFailoverControl(TConnections& connections, TWorkerRun& worker, TProcessingControl& control,
                     TProcessingHost& host, platform::PromptOwner owner = nullptr);
    // Joins a failover still running (the program's very end only).
    ~TFailoverControl();
    TFailoverControl(const TFailoverControl&) = delete;
    TFailoverControl& operator=(const TFailoverControl&) = delete;

    // Asks the question; on Yes stops processing and starts the failover (`planned`: a
    // switchover, both servers up, fenced). Nothing while one runs. The reserve server is
    // logged on first when it is not, and the main server when no session of it is open (a
    // session's own password serves to open it again): the tail of a healthy main is never
    // lost for want of a logon. A cancelled reserve logon ends the command quietly; a
    // cancelled main logon asks whether to fail over without the main server (default No).
    // A failover with a main session asks whether to fence it (default No). False when
    // nothing was started.
    bool Start(bool planned, Finished finished);
    // The program is ending: the failover stops at its safe point (before anything is sent to
    // the main server) or, past it, runs to its end; either way Finished reports, and the
    // activity log says so at once. True when one was running.
    bool RequestStop();
    bool StopRequested() const { return stopRequested_; }
    // A failover is under way: Start, Settings and Exit must wait for its report.
    bool Running() const { return running_; }
    // The last failover brought the reserve online: the roles may be reversed.
    bool Done() const { return done_; }
    // The pair as the settings name it, with the servers of the sessions.
    TFailoverPlan Plan(bool planned) const;

    // The services the thread uses (the program's unless a test gives its own).
    // Services of a test's own instead of the program's.
    void SetServices(TFailoverServices services) { services_ = std::move(services); }

private:
    TConnections& connections_;
    TWorkerRun& worker_;
    TProcessingControl& control_;
    TProcessingHost& host_;
    platform::PromptOwner owner_;
    std::optional<TFailoverServices> services_;
    std::atomic<bool> running_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> stopRequested_{false};
    std::function<void(const std::string&)> activityLine_;  // of the failover under way
    std::thread thread_;
};

}  // namespace tvr::engine
