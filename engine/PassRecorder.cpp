#include "engine/PassRecorder.h"

#include "client/LogBacklog.h"
#include "engine/Retention.h"
#include "platform/AtomicFile.h"
#include "platform/RegionalSettings.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace tvr::engine {

TPassRecord passRecordOf(const TPassReport& report, bool useReserve, std::chrono::seconds lag,
                         std::optional<std::uintmax_t> bytes) {
    TPassRecord record;
    record.start = report.started;
    record.kind = report.full ? PassKind::Full : PassKind::Transaction;
    record.file = report.file;
    record.bytes = bytes;
    record.dumpSeconds = report.dumpSeconds;
    record.loadSeconds = report.loadSeconds;
    record.outcome = passOutcomeText(report.dump, report.load, useReserve);
    record.error = passErrorNumber(report.dump, report.load);
    record.lag = lag;
    return record;
}

std::optional<std::uintmax_t> dumpFileBytes(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) continue;
        const auto size = std::filesystem::file_size(path, error);
        if (!error) return size;
    }
    return std::nullopt;
}

TPassRecorder::TPassRecorder(std::function<void(const std::string&)> errorEntry)
    : errorEntry_(std::move(errorEntry)) {}

void TPassRecorder::PassEnded(const TRecordPlaces& places, const TPassRecord& record,
                              const TPassSettings& settings, AlertLevel level, bool chainBroken) {
    try {
        appendPassRecord(places.historyFolder, record);
        historyFailing_ = false;
    } catch (const std::exception& error) {
        failed(historyFailing_, "The pass history", error);
    }
    {
        std::lock_guard lock(mutex_);
        metrics_.Count(record);
        metrics_.chainBroken = metrics_.chainBroken || chainBroken;
        metrics_.lag = record.lag;
        metrics_.level = level;
        metrics_.processing = true;
        writeMetrics(places.metricsFile);
    }
    const auto now = std::chrono::steady_clock::now();
    if (!lastExpiry_ || now - *lastExpiry_ >= std::chrono::hours(1)) {
        lastExpiry_ = now;
        deleteExpired(places, settings);
    }
}

void TPassRecorder::RunEnded(const TRecordPlaces& places, std::chrono::seconds lag,
                             AlertLevel level) {
    std::lock_guard lock(mutex_);
    metrics_.lag = lag;
    metrics_.level = level;
    metrics_.processing = false;
    writeMetrics(places.metricsFile);
}

void TPassRecorder::Tick(const TRecordPlaces& places, const TRunStanding& standing) {
    if (places.metricsFile.empty()) return;
    std::lock_guard lock(mutex_);
    const TPassMetrics before = metrics_;
    take(standing);
    const bool changed =
        before.level != metrics_.level || before.connected[0] != metrics_.connected[0] ||
        before.connected[1] != metrics_.connected[1] ||
        before.pendingLoads != metrics_.pendingLoads ||
        before.logWriteFailures != metrics_.logWriteFailures || !metrics_.processing;
    const auto now = std::chrono::steady_clock::now();
    if (!changed && lastWritten_ &&
        now - *lastWritten_ < std::chrono::seconds(kMetricsEverySeconds))
        return;
    metrics_.processing = true;
    writeMetrics(places.metricsFile);
}

void TPassRecorder::take(const TRunStanding& standing) {
    metrics_.lag = standing.lag;
    metrics_.level = standing.level;
    metrics_.connected[0] = standing.mainConnected;
    metrics_.connected[1] = standing.reserveConnected;
    metrics_.useReserve = standing.useReserve;
    metrics_.pendingLoads = standing.pendingLoads;
    metrics_.logWriteFailures = client::logWriteFailures();
}

void TPassRecorder::writeMetrics(const std::string& file) {
    metrics_.logWriteFailures = client::logWriteFailures();
    lastWritten_ = std::chrono::steady_clock::now();
    if (file.empty()) return;
    try {
        platform::replaceFileAtomically(file, metricsText(metrics_));
        metricsFailing_ = false;
    } catch (const std::exception& error) {
        failed(metricsFailing_, "The metrics file " + file, error);
    }
}

void TPassRecorder::deleteExpired(const TRecordPlaces& places, const TPassSettings& settings) {
    // Dump files expire through the ledger (the pass runner); history files here.
    std::vector<std::filesystem::path> expired;
    if (settings.KeepHistoryDays > 0) {
        for (auto& file : expiredHistoryFiles(places.historyFolder, HistoryClock::now(),
                                              settings.KeepHistoryDays))
            expired.push_back(std::move(file));
    }
    for (const auto& file : expired) {
        std::error_code error;
        // Both folders may be one seen by two paths: a file already gone is no failure.
        if (!std::filesystem::remove(file, error) && error) {
            errorEntry_("The expired file " + file.string() +
                        " cannot be deleted: " + error.message());
        }
    }
}

void TPassRecorder::failed(bool& failing, const std::string& what, const std::exception& error) {
    // Shipping goes on; one entry until the file can be written again.
    if (!failing) errorEntry_(what + " cannot be written (" + error.what() + "); shipping goes on");
    failing = true;
}

}  // namespace tvr::engine
