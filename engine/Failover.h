#pragma once
// The failover: the reserve database brought online for the applications when the main server
// is lost, or (a planned switchover) when both are up and the roles are to change. Steps, each
// one activity log line, in this order; a failure stops there, names what is left to do by
// hand (the exact statement) and changes nothing after it:
//  1. processing has stopped (the caller's part: the pass under way finished);
//  2. when the main server answers, the fence when asked for (the main database made read
//     only, so that no login, sa included, can change it after the tail), then a last
//     transaction dump to a new file, loaded on the reserve: `with no_truncate` saves the tail
//     of the log even when the data is damaged, and is the one log dump a read-only database
//     still takes; `with standby_access` (an unfenced switchover) leaves no transaction open
//     in it; when the main server does not answer the step is skipped and the error log says
//     so;
//  3. every dump written since the last full load must be loaded on the reserve, in order;
//  4. `online database` on the reserve;
//  5. the report: the files loaded since the last full load, the last transaction dump
//     applied and its time, the loss window, and whether the main database still takes writes.
// Nothing is sent on a connection that a worker uses: the caller runs this once the worker
// has ended.
#include "client/Sybase.h"
#include "engine/PassRunner.h"
#include "engine/ShippedChain.h"
#include "engine/ShippingLedger.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tvr::engine {

// The pair as the settings name it.
struct TFailoverPlan {
    std::string mainServer;
    std::string mainDatabase;
    std::string dumpFolder;
    std::string reserveServer;
    std::string reserveDatabase;
    std::string loadFolder;
    bool planned = false;  // a switchover: both servers up, no transaction to lose
    // Make the main database read only before the tail dump (sp_dboption), so that nothing
    // committed there afterwards is lost unseen.
    bool fence = false;
};

struct TFailoverServices {
    std::function<void(const std::string&)> activityLine;
    std::function<void(const std::string&)> errorEntry;
    // The dumps the passes of `database` (as its dump files are named) wrote and loaded,
    // oldest first (recordedShippedDumps: the pass history, or the activity logs).
    std::function<std::vector<TShippedDump>(const std::string& database)> shippedDumps;
    // Writes the failover's own dump and load in the pass history, so that a later failover
    // knows the tail was saved; throws when it cannot (the failover goes on).
    std::function<void(const TPassRecord&)> recordTail;
    std::function<bool(const std::string&)> fileExists;
    std::function<std::tm()> localNow;
    std::function<ChainClock::time_point()> now;
    // The reserve is online: the ledger marks the profile promoted, so that no start loads over
    // it. Throws when it cannot (the failover is done all the same, and says so). None: nothing
    // is recorded.
    std::function<void(const TFailoverPlan&)> promoted{};
    // The program is ending: asked once, at the one safe point, before anything is sent to the
    // main server. From there on the failover runs to its end, so that it never stops between
    // the fence or the tail and `online database`. None: never.
    std::function<bool()> stopRequested{};
};

struct TFailoverReport {
    bool done = false;    // the reserve database is online
    std::string stopped;  // why the failover stopped; empty when done
    std::string byHand;   // what is left to do by hand, the exact statements
    bool tailSaved = false;
    // The tail applied was saved by an earlier failover: nothing was sent to the main server.
    bool earlierTail = false;
    std::string lastDump;  // the last transaction (or full) dump applied
    std::optional<ChainClock::time_point> lastDumpStarted;
    std::optional<std::chrono::seconds> lossWindow;  // none when nothing was lost
    // When the tail dump that was saved began: what the main committed after it is not on
    // the reserve unless the main database was fenced first.
    std::optional<ChainClock::time_point> tailStarted;
    // The main database was made read only before the tail dump, at this time.
    std::optional<ChainClock::time_point> fenced;
    std::string notFenced;  // why a fence asked for was not set; empty when set or not asked
    // The files the reserve holds since the last full load, in order, each with ", header
    // checked" when the ledger records the header its load read first (log dumps: a full
    // dump's header has no sequence date to record).
    std::vector<std::string> loaded;
};

// The pair of a plan as the ledger names it.
TShippingPair shippingPairOf(const TFailoverPlan& plan);

// The question the commands ask before a failover or switchover: its first words say which.
std::string failoverQuestion(const TFailoverPlan& plan);
// The failover's second question: whether to fence the main database (default No).
std::string fenceQuestion(const TFailoverPlan& plan);

// The outcome in words, for the box, the activity log and the terminal.
std::string failoverReportText(const TFailoverPlan& plan, const TFailoverReport& report);

// Steps 2 to 5 on the two sessions (main may be none or dead: it is tried once more).
TFailoverReport runFailover(const TPassSessions& sessions, const TFailoverPlan& plan,
                            const TFailoverServices& services);

// The statements of the steps, as sent and as left to do by hand.
// `fenced`: the database is read only, which only a dump `with no_truncate` leaves alone.
std::string tailDumpStatement(const TFailoverPlan& plan, const std::string& file, bool fenced);
// sp_dboption DB, "read only", true|false: the fence and its undo (run in master).
std::string fenceStatement(const std::string& database, bool on);
std::string onlineStatement(const std::string& database);
std::string loadTransactionStatement(const std::string& database, const std::string& path);

}  // namespace tvr::engine
