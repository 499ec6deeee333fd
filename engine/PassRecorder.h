#pragma once
// What the worker leaves behind after each pass for those who are not watching the window:
// the pass's line in the history beside the activity log, the metrics file a monitoring
// system scrapes (when one is named), and, when so set, the deletion of dump files and
// history files older than the days they are kept. Nothing here ever stops shipping: a file
// that cannot be written is an error entry (once, until it can be written again).
#include "engine/PassHistory.h"
#include "engine/PassMetrics.h"
#include "engine/PassRunner.h"
#include "engine/ProcessingHost.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tvr::engine {

// The pass as the history keeps it. `bytes`: the dump file's size, when it could be seen.
TPassRecord passRecordOf(const TPassReport& report, bool useReserve, std::chrono::seconds lag,
                         std::optional<std::uintmax_t> bytes);

// The size of the first of `paths` that is a regular file.
std::optional<std::uintmax_t> dumpFileBytes(const std::vector<std::string>& paths);

// What the metrics tell of the run between passes, as the worker sees it at one moment.
struct TRunStanding {
    std::chrono::seconds lag{0};  // computed now
    AlertLevel level = AlertLevel::None;
    bool mainConnected = true;
    bool reserveConnected = true;
    bool useReserve = true;
    std::uint64_t pendingLoads = 0;
};

// Where a run's records go.
struct TRecordPlaces {
    std::string historyFolder;  // the activity log's folder
    std::string metricsFile;    // empty: no metrics
};

class TPassRecorder {
public:
    // `errorEntry` writes one error entry in both logs and both views.
    explicit TPassRecorder(std::function<void(const std::string&)> errorEntry);

    // After a pass that sent its dump: its history line, the metrics, and (at the first pass,
    // then at most once an hour) the deletion of what is older than it is kept.
    // `chainBroken`: the watch holds the log chain broken (also for a refusal the record's
    // error number does not tell, such as a log the server says cannot be dumped).
    void PassEnded(const TRecordPlaces& places, const TPassRecord& record,
                   const TPassSettings& settings, AlertLevel level, bool chainBroken = false);
    // The run has ended: the metrics say so.
    void RunEnded(const TRecordPlaces& places, std::chrono::seconds lag, AlertLevel level);
    // Every second while the run goes on (from the watch's ticker): the metrics file is
    // written when the standing changed since it was last written (a server lost, a level
    // reached, a log that fails) or kMetricsEverySeconds have passed, so that it never
    // stands still through an outage.
    void Tick(const TRecordPlaces& places, const TRunStanding& standing);

private:
    // Under mutex_.
    void take(const TRunStanding& standing);
    void writeMetrics(const std::string& file);
    void deleteExpired(const TRecordPlaces& places, const TPassSettings& settings);
    // An entry for a failure of `what` unless it is failing already; `failing` tracks that.
    void failed(bool& failing, const std::string& what, const std::exception& error);

    std::function<void(const std::string&)> errorEntry_;
    // The worker's pass and the ticker both write the metrics.
    std::mutex mutex_;
    TPassMetrics metrics_;
    std::optional<std::chrono::steady_clock::time_point> lastWritten_;
    bool historyFailing_ = false;
    bool metricsFailing_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastExpiry_;
};

}  // namespace tvr::engine
