#pragma once
// The program's run-time state, held by the main window and read and written by the logons,
// the start and stop of processing, the worker and the settings dialog. The flags that the
// worker and the GUI thread share are atomics; FLock is recursive because ConfirmStop holds
// it while it calls RequestStop, which takes it again.
#include "client/Sybase.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace tvr::engine {

class TDumpLoadThread;

struct TWindowState {
    TWindowState();
    ~TWindowState();  // joins a worker that is still running
    TWindowState(const TWindowState&) = delete;
    TWindowState& operator=(const TWindowState&) = delete;

    std::atomic<bool> FExitRequested{false};    // Exit confirmed: the next close ends the program
    std::atomic<bool> FCloseFromWorker{false};  // the worker ended after Exit and asked to close
    std::atomic<int> FState{0};                 // 0 not active, 1 processing, 2 sleeping
    std::string MainPassword;                   // from "P1:"
    std::string ReservePassword;                // from "P2:"
    std::atomic<bool> FStartEnabled{false};     // last value given to EnableStart
    std::recursive_mutex FLock;
    std::atomic<bool> FProcessing{false};  // started and not stopped
    std::atomic<bool> UseReserve{true};    // a reserve server is in use
    bool SetupPending = false;             // no ProcedureInstalled marker yet
    bool AutoStart = false;                // "-A" given
    bool AutoLogon = false;                // logons use the command-line passwords
    bool LogonPending = false;             // the start-up logon has no main connection yet
    std::atomic<bool> ReserveConnected{false};
    std::atomic<bool> MainConnected{false};
    std::atomic<bool> FWorkerRunning{false};  // the worker is inside its run routine
    std::unique_ptr<client::TSybaseConnect> MainConnection;
    std::unique_ptr<client::TSybaseConnect> ReserveConnection;
    std::unique_ptr<TDumpLoadThread> FWorker;  // the worker of the current or last run
    std::string FLogPath;                      // activity log folder
    std::string FErrorLogPath;                 // error log folder
};

}  // namespace tvr::engine
