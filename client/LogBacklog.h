#pragma once
// The entries a log file would not take (made read-only or immutable, replaced by a folder, a
// disk full), kept in memory in their order and written before anything newer as soon as the
// file takes writes again, so that a log that was unwritable for an hour still tells the whole
// hour afterwards. At most kKeptLogEntries entries are kept per file; beyond that the oldest
// go, and the first entry written afterwards says how many.
//
// The first failure of a file (and its return) is told to the other log as an error entry,
// shown in both views (on standard error in the service), counted for the metrics, and noted in
// the fault file a monitoring check reads; each of those may fail too without a loop.
#include "platform/FileWrite.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tvr::client {

inline constexpr std::size_t kKeptLogEntries = 10000;

// Appends `entry` to `file` after whatever is kept for it; on failure keeps `entry` and
// returns why. Any thread.
platform::AppendResult appendKeeping(const std::string& file, const std::string& entry);

// Writes failed since the process started (each entry that could not be written counts).
std::uint64_t logWriteFailures();
// The first log file that cannot be written now and why ("cannot write the activity log
// /var/log/x.log: Permission denied"); nothing while every log takes its entries.
std::optional<std::string> logWriteFault();

// The file that holds logWriteFault() for other processes (tvr --check) while it lasts;
// none (the default): not written. The program sets it once at start.
void setLogFaultFile(std::filesystem::path file);
// The fault a fault file tells, if there is one.
std::optional<std::string> readLogFaultFile(const std::filesystem::path& file);
// The fault file beside a profile's registry file.
std::filesystem::path logFaultFileBeside(const std::filesystem::path& registryFile);

}  // namespace tvr::client
