#pragma once
// The name of one pass's dump file and the reading of the interval between passes: free
// functions, so they are tested without a server or a thread.
#include "platform/RegionalSettings.h"

#include <ctime>
#include <optional>
#include <string>

namespace tvr::engine {

// Database name, the date in the short date format, the time in the long time format, then
// ".tr" for a transaction pass or ".db" for a full one. Every "-" and ":" is removed, and every
// "/" and "\" as well, since a short date such as "12/06/26" would otherwise name folders.
std::string DumpFileName(const std::string& databaseName, bool transaction, const std::tm& when,
                         const platform::RegionalFormats& formats);

// The whole seconds of an interval text read as a time of day on a 24-hour clock: hours and
// minutes apart by `separator`, optionally seconds after a second one. None when the text
// is not such a time.
std::optional<long> IntervalSeconds(const std::string& text, char separator);

}  // namespace tvr::engine
