#pragma once
// What is kept, and for how long: dump files older than the days set are deleted in both
// folders (only files whose names this program gives its dumps, so that nothing else in a
// shared folder is ever touched), and history files of days older than the days set.
#include "engine/PassHistory.h"
#include "platform/RegionalSettings.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tvr::engine {

// Whether `name` is one dumpFileName gives for `database` with these formats at some moment:
// the same database part, a date and time of the same shape, an optional copy number and
// ".db" or ".tr".
bool isDumpFileOf(const std::string& database, const std::string& name,
                  const platform::RegionalFormats& formats);

// The dump files of `database` in `folder` last written before `now` minus `days` days.
std::vector<std::filesystem::path> expiredDumpFiles(const std::string& folder,
                                                    const std::string& database,
                                                    const platform::RegionalFormats& formats,
                                                    std::filesystem::file_time_type now, int days);

// The history files in `folder` of local days before the day of `now` minus `days` days.
std::vector<std::filesystem::path> expiredHistoryFiles(const std::string& folder,
                                                       HistoryClock::time_point now, int days);

}  // namespace tvr::engine
