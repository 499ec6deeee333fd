#include "engine/PassRecorder.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace tvr::engine {

TPassRecord PassRecordOf(const TPassReport& report, bool useReserve, std::chrono::seconds lag,
                         std::optional<std::uintmax_t> bytes) {
    TPassRecord record;
    record.start = report.started;
    record.kind = report.full ? PassKind::Full : PassKind::Transaction;
    record.file = report.file;
    record.bytes = bytes;
    record.dumpSeconds = report.dumpSeconds;
    record.loadSeconds = report.loadSeconds;
    record.outcome = PassOutcomeText(report.dump, report.load, useReserve);
    record.error = PassErrorNumber(report.dump, report.load);
    record.lag = lag;
    return record;
}

std::optional<std::uintmax_t> DumpFileBytes(const std::vector<std::string>& paths) {
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

void TPassRecorder::PassEnded(const std::string& historyFolder, const TPassRecord& record) {
    try {
        AppendPassRecord(historyFolder, record);
        historyFailing_ = false;
    } catch (const std::exception& error) {
        // Shipping goes on; one entry until the history can be written again.
        if (!historyFailing_) {
            errorEntry_(std::string("The pass history cannot be written (") + error.what() +
                        "); shipping goes on");
        }
        historyFailing_ = true;
    }
}

}  // namespace tvr::engine
