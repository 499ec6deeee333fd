#include "sim/backup/HeaderOnlyLines.h"

#include <cstdio>

#include "sim/backup/ServerErrors.h"

namespace tvr::sim {
namespace {

// The emulator keeps its databases in 2K pages, the server's default page size.
constexpr std::uint64_t kPageKB = 2;

std::string hex(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
    return buf;
}

}  // namespace

std::vector<std::string> headerOnlyLines(const DumpHeader& header) {
    const bool log = header.kind == DumpKind::Transaction;
    const std::string pages = std::to_string(header.databaseSizeKB / kPageKB);
    std::vector<std::string> lines;
    lines.push_back(std::string("This is a ") + (log ? "log" : "database") +
                    " dump of database ID " + std::to_string(header.databaseId) + ", name '" +
                    header.database + "', from " +
                    serverDateTime(header.createdUnixMs, DateTimePrecision::Minute) +
                    ". ASE version: Adaptive Server Enterprise/15.7/aseemu/" + header.server +
                    ". Backup Server version: Backup Server/15.7/aseemu. Database page size is " +
                    std::to_string(kPageKB * 1024) + ".");
    if (!log) {
        // The emulator keeps no checkpoint record, object ids or sort orders of its own: those
        // fields are fixed, as for a database of the server's defaults (binary sort order, utf8).
        lines.push_back("Database contains " + pages +
                        " pages; checkpoint RID=(Rid pageid = 0x0; row num = 0x0); next object "
                        "ID=0; sort order ID=50, status=0; charset ID=190.");
        return lines;
    }
    // The log's "pages" are the emulator's log sequence numbers. A file written before the
    // previous dump's time was kept says only when it was made itself.
    const std::int64_t old =
        header.previousDumpUnixMs != 0 ? header.previousDumpUnixMs : header.createdUnixMs;
    lines.push_back("Log begins on page " + std::to_string(header.firstSequence) +
                    "; checkpoint RID=Rid pageid = " + hex(header.lastSequence) +
                    "; row num = 0x0; previous BEGIN XACT RID=(Rid pageid = " +
                    hex(header.firstSequence) + "; row num = 0x0); sequence dates: (old=" +
                    serverDateTime(old, DateTimePrecision::Millisecond) + ", new=" +
                    serverDateTime(header.createdUnixMs, DateTimePrecision::Millisecond) +
                    "); truncation page=" + std::to_string(header.lastSequence) +
                    "; 0 pages deallocated; requires database with " + pages + " pages.");
    return lines;
}

}  // namespace tvr::sim
