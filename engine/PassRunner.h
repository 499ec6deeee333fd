#pragma once
// The server side of one pass as a worker that is left alone for a week runs it: dead
// connections opened again (with a back-off) before anything is sent, the log chain asked
// about before a transaction dump, each step judged, a failed dump not loaded and its file
// deleted, a full pass again after a failed full dump or load, and, when so set, after the
// chain broke. The worker keeps the state display, the file deletion and the wait; this keeps
// what the passes of a run must remember of each other.
#include "client/Sybase.h"
#include "engine/PassWatch.h"
#include "engine/ProcedureCall.h"
#include "engine/ProcessingHost.h"
#include "engine/ShippingLedger.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tvr::engine {

// What the pass needs of the world around it, so that tests can give their own.
struct TPassServices {
    // One error entry in both logs and both views.
    std::function<void(const std::string&)> errorEntry;
    // One line of the activity log and view.
    std::function<void(const std::string&)> activityLine;
    // One second of a wait (a back-off); the wait ends early when `stop` is set.
    std::function<void()> sleepSecond;
    // Whether a file of the local file system exists, and its deletion.
    std::function<bool(const std::string&)> fileExists;
    std::function<void(const std::string&)> deleteFile;
    std::function<WatchClock::time_point()> now;
    std::function<std::tm()> localNow;
};

// The two sessions a run uses (not owned); a dead one is opened again in place.
struct TPassSessions {
    client::TSybaseConnect* main = nullptr;
    client::TSybaseConnect* reserve = nullptr;
};

// How a pass went, for the wait that follows it.
struct TPassReport {
    StepResult dump;
    StepResult load;
    bool failed = false;  // a step used failed or was not reached
    // What the history keeps of a pass that sent its dump (`sent`): when it began, whether it
    // was a full one, the file, and how long each call took (no load time when none was sent).
    bool sent = false;
    WatchClock::time_point started;
    bool full = false;
    std::string file;
    std::optional<std::uintmax_t> bytes;  // the dump file's size right after its dump
    double dumpSeconds = 0;
    std::optional<double> loadSeconds;
    // A full load would have replaced an online reserve database: nothing was sent, and
    // processing must stop.
    bool refused = false;
    // A server refused the logon as many times in a row as the settings allow: nothing was
    // sent, and processing must stop (the refusal's entry names the login and the server).
    bool logonRefused = false;
};

class TPassRunner {
public:
    TPassRunner(TPassServices services, TPassWatch* watch, const std::atomic<bool>& stop);

    // One pass: the file name is chosen (never one already in either folder) and stored in
    // both records; the calls are made; the records' TypeTrans says what the next pass is.
    // Returns without sending anything when a stop comes during a reconnect.
    TPassReport Run(const TPassSessions& sessions, TRS_dump_load& dump, TRS_dump_load& load,
                    bool useReserve, const TPassSettings& settings);

    // The ledger the passes decide from and record in (shared with the start of processing,
    // which reads it only while no run goes on), and the pair they ship. `reseed`: a full load
    // may replace an online reserve database until one has succeeded.
    void UseLedger(std::shared_ptr<TShippingLedger> ledger, std::string pair, bool reseed);
    // Deletes the files of dumps that were begun and never ended (the program was killed
    // during one), with an activity line each, and records that in the ledger.
    void CleanUpPartialDumps();

    // Deletes the dump files the ledger names that are older than `days` days and no longer
    // needed (loaded, or replaced by a newer full load); at the first call of a run, then at
    // most once an hour. Nothing with `days` 0.
    void DeleteExpiredDumps(int days);

    // Counts the failed passes in a row; in continuous mode (`continuous`) waits the back-off
    // after a failed one, 1, 2, 4 ... 60 seconds, so that a failing server cannot fill the
    // disk with log lines. A good pass ends the count.
    void WaitAfter(const TPassReport& report, bool continuous);

    // The dumps of the chain the reserve has not loaded yet, as the ledger tells.
    std::size_t PendingLoads() const { return State().pending().size(); }

private:
    // Opens `session` again while the library holds it dead; false when a stop ended the
    // tries, or when the server refused the logon `refusalLimit` times in a row (then
    // `refused` is set). Each try is one activity line; the loss, the return and the last
    // refusal are error entries.
    bool EnsureOpen(client::TSybaseConnect* session, int refusalLimit, bool& refused);
    // Asks the main server about the chain before a transaction pass; names a break once in
    // the error log and, when so set, has the next pass be a full one.
    void CheckChain(client::TSybaseConnect& main, const std::string& database,
                    const TPassSettings& settings, bool& fullNext);
    void waitSeconds(int seconds);
    // The error entry of a call `session` abandoned at its limit, if one was.
    void noteAbandonedCall(client::TSybaseConnect& session);
    // Loads the dumps of the chain the reserve has not loaded yet, oldest first; false, with
    // the failure in `report`, when one of them failed (it stays the first pending one).
    bool LoadPending(client::TSybaseConnect& reserve, TRS_dump_load& dump, TRS_dump_load& load,
                     const TPassSettings& settings, TPassReport& report);
    // Loads one dump of the ledger: its header checked first when so set, the load recorded,
    // the file deleted after a good load when so set.
    StepResult LoadDump(client::TSybaseConnect& reserve, const TLedgerDump& made,
                        TRS_dump_load load, const std::string& mainDatabase,
                        const TPassSettings& settings, double& seconds);
    // The sequence date of the last dump the chain loaded before `file` (its header's new).
    std::string previousSequence(const std::string& file) const;
    // After a good full load: the files of the chain it replaces are no longer needed.
    void DeleteSuperseded(const TPassSettings& settings);
    // Deletes one dump file where it may be, and records it.
    void DeleteDump(const TLedgerDump& made, const std::vector<std::string>& folders);
    // One entry in the ledger; a ledger that cannot be written is one error entry until it
    // can again, and shipping goes on (the entry is kept in memory).
    void Record(TLedgerEntry entry);
    TLedgerState State() const { return ledgerState(ledger_->Entries(), pair_); }

    TPassServices services_;
    TPassWatch* watch_;
    const std::atomic<bool>& stop_;
    int failuresInARow_ = 0;
    std::optional<int> chainStatus_;  // the last non-zero answer entered, to enter it once
    bool chainUnknown_ = false;       // the server cannot answer: asked no more in this run
    std::shared_ptr<TShippingLedger> ledger_ = std::make_shared<TShippingLedger>();
    std::string pair_;
    bool reseed_ = false;
    bool ledgerFailing_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastExpiry_;
};

}  // namespace tvr::engine
