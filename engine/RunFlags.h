#pragma once
// The flags of a run that the window, the start and stop of processing and the worker share.
// Those both threads touch are atomics; FLock orders the worker's end against a Stop or an
// Exit on the GUI thread, and is recursive because ConfirmStop holds it while it calls
// RequestStop, which takes it again.
#include <atomic>
#include <mutex>

namespace tvr::engine {

struct TRunFlags {
    std::atomic<bool> FProcessing{false};       // started and not stopped
    std::atomic<bool> FWorkerRunning{false};    // the worker is inside its run routine
    std::atomic<bool> FExitRequested{false};    // Exit confirmed: the next close ends the program
    std::atomic<bool> FCloseFromWorker{false};  // the worker ended after Exit and asked to close
    std::atomic<int> FState{0};                 // 0 not active, 1 processing, 2 sleeping
    std::atomic<bool> FStartEnabled{false};     // last value given to EnableStart
    std::atomic<bool> UseReserve{true};         // a reserve server is in use
    // The last run stopped because a server refused its logon again and again.
    std::atomic<bool> FLogonRefused{false};
    bool SetupPending = false;  // no ProcedureInstalled marker yet
    std::recursive_mutex FLock;
};

}  // namespace tvr::engine
