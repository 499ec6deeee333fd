#pragma once
// The control side of the engine, run by the main window on the GUI thread: the start of
// processing (logons where needed, the settings saved, the Backup Server checks, the worker
// created, filled and started), the stop after a question, and the close handler's part of
// an Exit while a worker may still be inside a pass.
#include "engine/Connections.h"
#include "engine/DumpLoadThread.h"
#include "engine/ProcessDisplay.h"
#include "engine/ProcessingHost.h"
#include "engine/RunFlags.h"
#include "engine/ShippingLedger.h"
#include "engine/WorkerRun.h"
#include "platform/Prompts.h"

#include <memory>
#include <string>

namespace tvr::engine {

// The questions of the Stop and the Exit commands.
inline constexpr const char* StopQuestion = "Stop process?";
inline constexpr const char* ExitQuestion = "Stop process and exit?";

// A start as the user asked for it: a normal one, or a re-seed, whose first pass is a full dump
// and load even onto a reserve database that is online (after a failover, or changed by hand).
enum class StartKind { Normal, Reseed };

// The question of "Re-seed the reserve...", naming what is replaced and from where.
std::string reseedQuestion(const std::string& mainServer, const std::string& mainDatabase,
                           const std::string& reserveServer, const std::string& reserveDatabase);

class TProcessingControl {
public:
    // `owner` owns the message boxes (the main window); nothing is owned here. `views` and
    // `clock` go to every worker this control creates.
    TProcessingControl(TConnections& connections, TRunFlags& flags, TWorkerRun& worker,
                       TProcessDisplay& display, TProcessingHost& host, client::LogViews views,
                       platform::PromptOwner owner = nullptr,
                       TWorkerClock clock = TWorkerClock::system());

    // Does nothing while processing runs or the last worker has not yet finished. Logs on
    // where needed (a connection that has failed counts as not logged on), then saves the
    // settings, checks the Backup Servers and starts a new worker. A failure before the
    // worker runs is shown in the application's error box and leaves the window idle, but a
    // registry file that cannot be written is only shown: the start goes on.
    void StartProcessing(StartKind kind = StartKind::Normal);
    // "Re-seed the reserve...": the question (default No) naming the reserve server and
    // database, then a start of kind Reseed. Nothing while processing runs.
    void Reseed();
    // Processing started and not stopped, or a worker not yet ended: what the settings dialog
    // and the logons must keep away from.
    bool Running() const;
    // True when processing is not running or the user agreed to stop it.
    bool ConfirmStop(const std::string& question);
    // The stop once agreed to: the pass under way finishes, and no other starts.
    void Stop();
    void RequestStop();
    // The Exit command's part before the window closes: ConfirmStop with ExitQuestion, and
    // when it returns true FExitRequested becomes true. True when the window is to close.
    bool ConfirmExit();

    // What the window's close handler does once Exit was confirmed (FExitRequested set):
    // Refuse while the worker runs or has not finished (it asks again when it ends), Accept
    // otherwise, after saving the settings and freeing the last worker when there was one.
    enum class CloseAction { Refuse, Accept };
    CloseAction CloseAfterExit();

private:
    void StartWorker(StartKind kind);
    // The state of the window's creation: nothing running, Start and Settings available.
    // Throws the error the user sees when a database name is longer than sp_TVR takes.
    void RefuseNamesTooLong(const TStartSettings& settings) const;
    // Throws the error the user sees when a dump or load folder is so long that the longest
    // device path a pass can make would not fit the procedure's variable.
    void RefuseFoldersTooLong(const TStartSettings& settings) const;
    // The first pass from the ledger and the reserve's state: full or not, with its activity
    // line written; false, after an error entry (and a box unless the start is unattended),
    // when processing must not start.
    bool DecideFirstPass(StartKind kind, const TStartSettings& settings, bool& full);
    void ErrorEntry(const std::string& text);
    void ActivityLine(const std::string& text);
    void ReturnToIdle();
    // The box in which the application shows an error that ends a command.
    void ShowError(const std::string& text);

    TConnections& connections_;
    TRunFlags& flags_;
    TWorkerRun& worker_;
    TProcessDisplay& display_;
    TProcessingHost& host_;
    client::LogViews views_;
    platform::PromptOwner owner_;
    TWorkerClock clock_;
    // The profile's ledger, read again at each start; the run's worker alone uses it between.
    std::shared_ptr<TShippingLedger> ledger_;
    std::size_t ledgerSkippedShown_ = 0;
};

}  // namespace tvr::engine
