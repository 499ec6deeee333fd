#pragma once
// The watch over the standby: what the last pass did, when the last good load was made, how
// far the reserve is behind (the lag: now minus the start of the dump of the last good load),
// the alert level that lag has reached, whether a pass has been running for too long, and
// whether the log chain is broken.
//
// A broken chain (a dump or load refused with a chain-break error, or the main server saying
// its log cannot be dumped) is critical at once, whatever the lag: the standby cannot advance
// until a full dump and load, so there is nothing to wait for. It stays so, across runs of
// the same databases, until a pass loads its dump without fault.
//
// The worker reports each pass as it starts and ends; a ticker calls Tick every second while
// processing runs, and Tick shows the watch and writes one error entry at each change of
// the lag's alert level and one when a pass stalls (and again when it ends, with how long it
// took). A break of the chain and its mending are entered as they are reported.
// Every member may be called from any thread; one lock keeps the state whole. The display and
// the entry writer are called outside the lock.
#include "engine/PassHistory.h"
#include "engine/WatchRules.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tvr::engine {

using WatchClock = std::chrono::system_clock;

// The watch at one moment, as the window shows it: the grid's three new cells of each row
// (the outcome of that server's step of the last pass; on the row of the last step, the time
// of the last good load and the lag), the line the tray hint gains and the status bar's
// alert text (empty below the thresholds).
struct TWatchView {
    std::string mainOutcome;     // "dump: ok", "dump: failed (4221)" ...
    std::string reserveOutcome;  // "load: ..."; empty without a reserve server
    std::string lastGood;        // "good load 16:27:22", "no good load yet"
    std::string lag;             // "lag 00:03:12"
    AlertLevel level = AlertLevel::None;
    bool stalled = false;
    std::string alert;  // "Reserve behind by 00:16:02 (warning)"; empty when none
    // Why the log chain is broken ("4305: the dump does not follow the last one loaded");
    // empty while it is whole. While it is set the level is critical.
    std::string chainBreak;
    // Where the lag counts from (the dump of the last good load), so that a window can go on
    // counting it after the run's ticks have stopped; none before any run.
    std::optional<std::chrono::system_clock::time_point> lagFrom;
    bool operator==(const TWatchView&) const = default;
};

// Where the watch is shown. Called from the ticker's thread; the window carries each call
// to the GUI thread, in order, without waiting.
class TWatchDisplay {
public:
    virtual ~TWatchDisplay() = default;
    // Nothing where the watch is not shown.
    virtual void ShowWatch(const TWatchView& view) { (void)view; }
};

// The settings the watch reads at every tick.
struct TWatchLimits {
    int warningMinutes = 15;
    int criticalMinutes = 60;
    int stallMinutes = 30;  // 0: a pass never counts as stalled
};

// What one run's watch leaves to the next: the reserve stays as old as its last good load
// until the next good one, whatever runs start and stop in between.
struct TWatchStanding {
    std::string pair;  // the servers and databases it is about
    std::optional<WatchClock::time_point> firstRunStart;
    std::optional<WatchClock::time_point> goodDumpStart;
    std::optional<WatchClock::time_point> goodLoadEnd;
    AlertLevel lagLevel = AlertLevel::None;
    std::string chainBreak;  // why the chain is broken; empty while it is whole
};

class TPassWatch {
public:
    // `errorEntry` writes one error entry (both logs and both views) with the given text.
    TPassWatch(TWatchDisplay& display, std::function<void(const std::string&)> errorEntry);

    // A run begins: with or without a reserve server. Before any good load the lag counts
    // from the start of the first run.
    void RunStarted(WatchClock::time_point now, bool useReserve);
    void PassStarted(WatchClock::time_point now);
    // `dumpStart`: when the pass's dump was sent. A good load (or, without a reserve server, a
    // good dump) moves the lag's starting point to it.
    void PassEnded(WatchClock::time_point now, WatchClock::time_point dumpStart,
                   const StepResult& dump, const StepResult& load);
    // The run has ended: the view stays, the ticks stop.
    void RunEnded();
    // The log chain is broken for `reason` (in plain words, e.g. chainBreakText of a non-zero
    // tran_dumpable_status): the level is critical from now until a pass loads its dump
    // without fault. A failed dump or load with a chain-break error (isChainBreakError) has
    // the same effect through PassEnded, with the error's words as the reason.
    void ChainBroken(const std::string& reason);
    // The session to `server` is lost (empty: every session is open again). While one is lost
    // the level is at least a warning and the alert names it, so that a window, the tray and
    // the metrics show a server that cannot be reached at once, not only once the lag grows.
    void SessionLost(const std::string& server);

    // Before the run starts: names what it ships and takes over what `last` knew of the same
    // servers and databases (of others it knows nothing).
    void Resume(const std::string& pair, const TWatchStanding& last);
    TWatchStanding Standing() const;

    // Shows the watch as it stands at `now` and writes the entries a change calls for;
    // returns what it showed.
    TWatchView Tick(WatchClock::time_point now, const TWatchLimits& limits);
    TWatchView View(WatchClock::time_point now, const TWatchLimits& limits) const;
    std::chrono::seconds Lag(WatchClock::time_point now) const;

private:
    TWatchView viewLocked(WatchClock::time_point now, const TWatchLimits& limits) const;

    TWatchDisplay& display_;
    std::function<void(const std::string&)> errorEntry_;
    mutable std::mutex mutex_;
    bool useReserve_ = true;
    std::string pair_;
    std::optional<WatchClock::time_point> firstRunStart_;
    std::optional<WatchClock::time_point> goodDumpStart_;  // dump of the last good load
    std::optional<WatchClock::time_point> goodLoadEnd_;
    std::optional<WatchClock::time_point> passStart_;  // the pass under way, if any
    bool passEnded_ = false;                           // a pass has ended in this run
    StepResult dump_;
    StepResult load_;
    AlertLevel lagLevel_ = AlertLevel::None;  // of the lag alone, as last entered
    bool stallReported_ = false;
    std::string chainBreak_;   // why the chain is broken; empty while it is whole
    std::string sessionLost_;  // the server whose session is being opened again
};

// The watch a window shows before any run of this program, from the pass history (oldest
// first): the lag counts from the dump of the last good load (from the first pass when none
// loaded); nothing without a history.
std::optional<TWatchView> watchFromHistory(const std::vector<TPassRecord>& history,
                                           WatchClock::time_point now, const TWatchLimits& limits,
                                           bool useReserve);

// Calls `tick` about once a second on a thread of its own, from construction until it is
// destroyed (which waits for the thread, at most a second).
class TWatchTicker {
public:
    explicit TWatchTicker(std::function<void()> tick);
    ~TWatchTicker();
    TWatchTicker(const TWatchTicker&) = delete;
    TWatchTicker& operator=(const TWatchTicker&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace tvr::engine
