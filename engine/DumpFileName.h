#pragma once
// The name of one pass's dump file and the reading of the interval between passes: free
// functions, so they are tested without a server or a thread.
#include "platform/RegionalSettings.h"

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace tvr::engine {

// The widest texts sp_TVR takes for a database name and a file name (both varchar(30)): the
// server cuts a longer value without a word, so a longer database name would dump another
// database or none, and a longer file name would lose its extension and then its seconds.
inline constexpr std::size_t kProcedureNameLimit = 30;
// The widest device path (folder, separator and file name) it keeps: its varchar(100).
inline constexpr std::size_t kProcedureDeviceLimit = 100;

// Database name, the date in the short date format, the time in the long time format, then
// ".tr" for a transaction pass or ".db" for a full one. Every "-" and ":" is removed, and every
// "/" and "\" as well, since a short date such as "12/06/26" would otherwise name folders.
// `copy` 2, 3 ... puts "-2", "-3" ... before the extension (the dashes of the rest are gone,
// so it cannot be mistaken for them); copy 1 has none.
//
// The name fits kProcedureNameLimit: the database part is shortened as far as needed, never
// the date, the time, the copy or the extension, so that every pass still writes a file of
// its own second. Formats so long that not one character of the database would remain give
// the date and time as yyyymmddhhmmss instead.
std::string dumpFileName(const std::string& databaseName, bool transaction, const std::tm& when,
                         const platform::RegionalFormats& formats, int copy = 1);

// The first of dumpFileName's names for this moment, copy 1, 2, 3 ..., for which `taken`
// says no: a dump never overwrites a file that is already in either folder. Gives up after
// kMaxDumpFileCopies copies and returns the last name tried.
inline constexpr int kMaxDumpFileCopies = 999;
std::string freeDumpFileName(const std::string& databaseName, bool transaction, const std::tm& when,
                             const platform::RegionalFormats& formats,
                             const std::function<bool(const std::string& name)>& taken);

// The longest name dumpFileName can give `databaseName` with these formats, at any moment and
// copy: how much of the procedure's device path a folder may leave to the file name.
std::size_t longestDumpFileName(const std::string& databaseName,
                                const platform::RegionalFormats& formats);

// The whole seconds of an interval text read as a time of day on a 24-hour clock: hours and
// minutes apart by `separator`, optionally seconds after a second one. None when the text
// is not such a time.
std::optional<long> intervalSeconds(const std::string& text, char separator);

}  // namespace tvr::engine
