#pragma once
// The worker: one thread that runs pass after pass, a dump on the main server and its load on
// the reserve server, until the window asks it to stop. Each pass is judged (PassRunner.h):
// a dead connection is opened again, a failed dump is not loaded, a failing server in
// continuous mode is given a back-off; a watch shows the lag every second. It reports its
// progress through the display and reads the pass settings from the host at every pass.
#include "client/LogSink.h"
#include "client/Sybase.h"
#include "engine/AlertCommand.h"
#include "engine/PassRecorder.h"
#include "engine/PassRunner.h"
#include "engine/PassWatch.h"
#include "engine/ProcedureCall.h"
#include "engine/ProcessDisplay.h"
#include "engine/ProcessingHost.h"
#include "engine/RunFlags.h"
#include "engine/ShippingLedger.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tvr::engine {

// What the worker takes from the platform, so that tests need no real hours.
struct TWorkerClock {
    std::function<std::tm()> now;                             // local time of day
    std::function<void(std::chrono::milliseconds)> sleep;     // one step of the wait
    std::function<bool(const std::string& path)> deleteFile;  // result ignored
    // Whether a dump file of that name is already there (never overwritten).
    std::function<bool(const std::string& path)> fileExists = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(std::filesystem::symlink_status(path, error));
    };
    static TWorkerClock system();
};

class TDumpLoadThread {
public:
    // Built and filled on the GUI thread, then started with Resume(). The thread and a share
    // of each connection it uses are owned; the flags, display, host and the views its own
    // entries are shown in must outlive the object.
    TDumpLoadThread(TRunFlags& flags, TProcessDisplay& display, const TProcessingHost& host,
                    client::LogViews views, TWorkerClock clock = TWorkerClock::system());
    // Asks the run to stop and joins the thread: a pass under way is finished, a wait left
    // within a second. The window frees the object only once its run has ended.
    ~TDumpLoadThread();
    TDumpLoadThread(const TDumpLoadThread&) = delete;
    TDumpLoadThread& operator=(const TDumpLoadThread&) = delete;

    void Resume();   // starts the thread body
    void WaitFor();  // joins it
    // The body has returned, its close request after Exit included. Until then freeing the
    // object waits for the thread.
    bool Finished() const { return finished_ || !started_; }

    TRS_dump_load DumpRS;
    TRS_dump_load LoadRS;
    std::shared_ptr<client::TSybaseConnect> MainConnection;
    std::shared_ptr<client::TSybaseConnect> ReserveConnection;
    std::atomic<bool> StopRequested{false};
    bool UseReserve = true;
    std::string MetricsFile;  // empty: no metrics file
    // The ledger of the profile (none: one kept in memory for this run), which the start of
    // processing does not touch while the run goes on; and whether the run is a re-seed.
    std::shared_ptr<TShippingLedger> Ledger;
    bool Reseed = false;
    // The databases and servers of the run, as the ledger names them.
    TShippingPair Pair() const;

    // The watch as this run leaves it, and, before the run starts, what it takes over from
    // the last run (when that shipped the same databases between the same servers).
    TWatchStanding WatchStanding() const { return watch_.Standing(); }
    void ResumeWatch(const TWatchStanding& last);

protected:
    void Execute();
    void RunPass();
    // An error entry in both logs and views, then the stop a confirmed Stop would make.
    void ReportPassFailure(const std::string& text);
    // The stop a confirmed Stop would make.
    void StopProcessing();
    // An error entry in both logs and both views.
    void WriteErrorEntry(const std::string& text);
    // The pass's line in the history beside the activity log.
    void RecordPass(const TPassReport& report);
    TRecordPlaces RecordPlaces() const;
    // Every second while processing runs: the watch shown, the alert command told of a change.
    void TickWatch();

private:
    // The end of the run: flags, display, and the close request after an Exit.
    void EndRun();

    TRunFlags& flags_;
    TProcessDisplay& display_;
    const TProcessingHost& host_;
    const client::LogViews views_;
    TWorkerClock clock_;
    TPassWatch watch_;
    TPassRunner runner_;
    TPassRecorder recorder_;
    TAlertCommand alert_;
    // What the metrics tell between passes, as the last pass left the sessions and the ledger.
    std::atomic<bool> mainConnected_{true};
    std::atomic<bool> reserveConnected_{true};
    std::atomic<std::size_t> pendingLoads_{0};
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace tvr::engine
