#pragma once
// The dump-and-load view of a database's transaction log.
//
// The log itself is the table aseemu_log inside the database's SQLite file (sequence, time of
// the statement, SQLite text), appended to in the same transaction as every change. This file
// adds what dumps and loads need, kept in the same file's aseemu_meta table so that it travels
// and commits with the data:
//  - on a database that is dumped: its chain identity (a random incarnation, kept through dumps
//    and loads), the base (the sequence up to which the log has been dumped or truncated), and
//    whether a truncate_only or a change without log records has happened since the last
//    database dump; and when the dump that the next transaction dump follows was made (the
//    last transaction dump that moved the base, or the last database dump if later);
//  - on a database in a load sequence: the chain it was loaded from, the sequence the next
//    transaction dump must start at, and the last sequence it holds.
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tvr::sim {

struct LogEntry {
    std::uint64_t sequence = 0;
    std::string time;  // what getdate() returned when the statement ran
    std::string statement;
};

struct LogPosition {
    std::string incarnation;
    std::uint64_t base = 0;                   // entries up to here have been dumped or discarded
    std::uint64_t last = 0;                   // the last sequence ever assigned
    bool truncatedSinceDatabaseDump = false;  // or never dumped since it was created
    bool unloggedSinceDatabaseDump = false;   // a change was made without its log records
    bool neverDumped = false;  // of the truncations above: no database dump since it was made
    std::int64_t lastDumpUnixMs =
        0;  // when the dump the next log dump follows was made; 0: unknown
};

struct LoadPosition {
    std::string incarnation;            // chain of the database dump loaded
    std::uint64_t expectedFirst = 0;    // a transaction dump must start here
    std::uint64_t loadedThrough = 0;    // the last log sequence the database holds
    std::int64_t loadedDumpUnixMs = 0;  // when the last dump loaded was made
    bool standby = false;               // online for standby access since the last load
};

// SQLite failures; the text is SQLite's.
struct LogError {
    std::string message;
};

namespace logchain {

// Creates the log tables and the chain identity when missing; a new chain waits for a database
// dump before its log can be dumped.
void ensure(sqlite3* db);
LogPosition position(sqlite3* db);
// Entries with base < sequence <= through, in order.
std::vector<LogEntry> entriesAfter(sqlite3* db, std::uint64_t base, std::uint64_t through);
// Discards entries up to through and makes it the base; truncateOnly breaks the chain for
// transaction dumps until the next database dump. `dumpUnixMs`: when the transaction dump that
// holds the entries was made, which the next one follows (0 for a truncation without a dump).
void truncate(sqlite3* db, std::uint64_t through, bool truncateOnly, std::int64_t dumpUnixMs = 0);
// A database dump made at `dumpUnixMs` restores the chain; the next transaction dump follows it.
void markDatabaseDumped(sqlite3* db, std::int64_t dumpUnixMs);
// A change made without log records (select into) in the database attached as `schema` on this
// connection ("main" for its own), inside the caller's transaction: no transaction dump until
// the next database dump, and the chain gets a new identity, so that no load sequence begun
// before it takes a transaction dump made after it.
void markUnloggedChange(sqlite3* db, const std::string& schema);

LoadPosition loadPosition(sqlite3* db);
void setLoadPosition(sqlite3* db, const LoadPosition& position);

// Runs the entries with sequence > after and records them under their own sequence numbers,
// inside the caller's transaction. Returns how many ran. beforeEach lets the caller give the
// statement the time it originally ran at.
std::size_t replay(sqlite3* db, const std::vector<LogEntry>& entries, std::uint64_t after,
                   const std::function<void(const LogEntry&)>& beforeEach);

// The data of a transaction dump.
std::string serialize(const std::vector<LogEntry>& entries);
bool deserialize(const std::string& data, std::vector<LogEntry>& entries);

}  // namespace logchain
}  // namespace tvr::sim
