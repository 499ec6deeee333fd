#pragma once
// What is kept, and for how long: history files of days older than the days set (dump files
// expire through the shipping ledger, which knows which of them are loaded), and the test of
// whether a name is one this program gives a database's dumps, for records from before the
// ledger.
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

// The history files in `folder` of local days before the day of `now` minus `days` days.
std::vector<std::filesystem::path> expiredHistoryFiles(const std::string& folder,
                                                       HistoryClock::time_point now, int days);

}  // namespace tvr::engine
