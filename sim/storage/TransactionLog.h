#pragma once
// The transaction log of a database, kept inside the database's own SQLite file so that a
// change and its log record commit together. Every modifying statement run on a user database
// is appended as the SQLite text that was executed, with the statement's time (what getdate()
// returned), under an increasing sequence number that is never reused, also after truncation.
// A transaction dump takes the records after the last dump or truncation; a load replays them
// in order. The table aseemu_meta holds per-database values of the emulator (key, value).
#include "sim/storage/Sqlite.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvr::sim {

struct LogRecord {
    std::int64_t sequence = 0;
    std::string time;  // "YYYY-MM-DD HH:MM:SS.mmm"
    std::string sql;
};

class TransactionLog {
public:
    static constexpr const char* LogTable = "aseemu_log";
    static constexpr const char* MetaTable = "aseemu_meta";

    // Creates the tables when missing.
    static void ensure(SqliteDatabase& db);
    // Appends within the caller's transaction to the log of `schema` (main, or the name a
    // database is attached under on this connection); returns the new sequence number.
    static std::int64_t append(SqliteDatabase& db, const std::string& sql, const std::string& time,
                               const std::string& schema = "main");
    static std::vector<LogRecord> recordsAfter(SqliteDatabase& db, std::int64_t sequence);
    // Highest sequence number ever given out (0 when none).
    static std::int64_t lastSequence(SqliteDatabase& db);
    // Drops the records up to and including `sequence`.
    static void truncateThrough(SqliteDatabase& db, std::int64_t sequence);

    static std::optional<std::string> meta(SqliteDatabase& db, const std::string& key);
    static void setMeta(SqliteDatabase& db, const std::string& key, const std::string& value);

    // True for the emulator's own tables, which no catalog listing shows.
    static bool isInternalTable(const std::string& name);
};

}  // namespace tvr::sim
