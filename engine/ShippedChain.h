#pragma once
// Which dumps the passes wrote and which of them the reserve loaded, in order, as a failover
// must know before it brings the reserve online: a transaction dump written since the last
// full load and never loaded means that every later transaction is lost to the reserve, and
// loading more would only be refused. Free functions over texts and folders, so that the
// rules are tested without a server.
#include "engine/PassHistory.h"
#include "engine/ShippingLedger.h"
#include "platform/RegionalSettings.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tvr::engine {

using ChainClock = std::chrono::system_clock;

// One dump of a pass, in the order the passes wrote them.
struct TShippedDump {
    std::string file;  // the dump file's name, without its folder
    bool full = false;
    bool dumped = false;  // the dump completed
    bool loaded = false;  // the reserve loaded it without a fault
    // When its dump began; none when the record does not say.
    std::optional<ChainClock::time_point> started;
    bool tail = false;  // the last log dump a failover saved from the main server
    // The "new" sequence date of its load's checked header; empty when none was checked.
    std::string sequenceNew{};
    bool operator==(const TShippedDump&) const = default;
};

// The dumps and loads an activity log records, oldest first. A pass leaves "Start Dump" or
// "Start Load" (sp_TVR's own prints), then the Backup Server's line naming the file it
// mounted, then "DUMP is complete" or "LOAD is complete"; an error record before that ends
// the step as failed. Each line carries its time of day in `longTime` (strptime pattern);
// the day is the last one, up to `now`, on which that time had come, so a log read within a
// day of its passes gives their real times.
std::vector<TShippedDump> shippedDumpsFromLog(const std::string& text, const std::string& longTime,
                                              ChainClock::time_point now);

// The text of every activity log of `database` in `folder` (`<database>DDMMYYYY.log`), the
// oldest day first: a run of several days writes to the file of the day it began, and a
// chain may have begun in an earlier run.
std::string activityLogsText(const std::string& folder, const std::string& database);

// The dumps of `database` (as its dump files are named) that the pass history records, oldest
// first; records of another database's dump files, as after the roles were reversed, are left
// out. A pass dumped unless its dump failed; it loaded when it ended "ok" with a load sent
// (a pass without a reserve server loaded nothing).
std::vector<TShippedDump> shippedDumpsFromHistory(const std::vector<TPassRecord>& records,
                                                  const std::string& database,
                                                  const platform::RegionalFormats& formats);

// The dumps of `database` as the records in the log folder `folder` tell them: its pass
// history when that records a full load, as it has the exact dates and outcomes; else the
// activity logs, whose text `activityLogs` gives (a folder from before the history, or one
// whose history files of the last full pass were deleted as expired).
std::vector<TShippedDump> recordedShippedDumps(const std::string& folder,
                                               const std::string& database,
                                               const std::function<std::string()>& activityLogs,
                                               ChainClock::time_point now);

// The dumps of the ledger's current chain for `pair`, oldest first, as the chain check reads
// them: every one of them made; loaded when the ledger records a good load.
std::vector<TShippedDump> shippedDumpsFromLedger(const std::vector<TLedgerEntry>& entries,
                                                 const std::string& pair);

// What the records say of the chain the reserve holds.
struct TChainState {
    bool fullLoaded = false;  // some full dump was loaded: there is a chain at all
    // The first dump written after the last full load and not loaded in its turn.
    std::optional<std::size_t> missing;
    // The last dump the reserve loaded in order (full or transaction).
    std::optional<std::size_t> lastLoaded;
};
TChainState checkShippedChain(const std::vector<TShippedDump>& dumps);

}  // namespace tvr::engine
