#pragma once
// The numbers a monitoring system scrapes (Prometheus text format), kept by the worker and
// written to the file given with --metrics after every pass, at every change of state and at
// least every kMetricsEverySeconds between (so that an outage shows while it lasts), replaced
// as a whole so that a reader never sees half a file. Counters count from the start of the
// run; the lag is computed at the moment of writing.
//
//   tvr_lag_seconds                        gauge    now minus the start of the last good load's dump
//   tvr_last_good_load_timestamp_seconds   gauge    end of the last good load (0: none yet)
//   tvr_passes_total{kind}                 counter  passes that sent their dump, full/transaction
//   tvr_pass_failures_total{kind}          counter  those of them that failed
//   tvr_shipped_bytes_total                counter  bytes of the dump files of good passes
//   tvr_processing                         gauge    1 while processing runs, 0 once it stopped
//   tvr_alert_level                        gauge    0 none, 1 warning, 2 critical (as shown)
//   tvr_chain_broken                       gauge    1 from a pass of the run that failed with a
//                                                   chain-break error (isChainBreakError) until
//                                                   a good one, else 0
//   tvr_up                                 gauge    1: the program that writes the file runs
//   tvr_server_connected{role}             gauge    1 while the main / reserve session is open
//   tvr_pending_loads                      gauge    dumps made and not loaded yet (the ledger's)
//   tvr_log_write_failures_total           counter  log entries a log file did not take
#include "engine/PassHistory.h"
#include "engine/WatchRules.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tvr::engine {

struct TPassMetrics {
    std::chrono::seconds lag{0};
    std::optional<HistoryClock::time_point> lastGoodLoad;
    std::uint64_t passes[2] = {0, 0};  // by PassKind: full, transaction
    std::uint64_t failures[2] = {0, 0};
    std::uint64_t shippedBytes = 0;
    bool processing = true;
    AlertLevel level = AlertLevel::None;
    bool chainBroken = false;
    bool connected[2] = {true, true};  // main, reserve
    bool useReserve = true;
    std::uint64_t pendingLoads = 0;
    std::uint64_t logWriteFailures = 0;

    // Counts one pass of the history (and whether it broke or mended the log chain).
    void Count(const TPassRecord& record);
};

inline constexpr int kMetricsEverySeconds = 15;

// The whole file's text, with # HELP and # TYPE lines.
std::string metricsText(const TPassMetrics& metrics);

}  // namespace tvr::engine
