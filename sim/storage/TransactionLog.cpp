#include "sim/storage/TransactionLog.h"

#include "sim/statements/SqlTranslator.h"

namespace tvr::sim {

void TransactionLog::ensure(SqliteDatabase& db) {
    db.execute(
        "CREATE TABLE IF NOT EXISTS aseemu_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, at TEXT NOT NULL, "
        "sql TEXT NOT NULL)");
    db.execute("CREATE TABLE IF NOT EXISTS aseemu_meta (key TEXT PRIMARY KEY, value TEXT)");
}

std::int64_t TransactionLog::append(SqliteDatabase& db, const std::string& sql,
                                    const std::string& time, const std::string& schema) {
    SqliteStatement insert(
        db, "INSERT INTO " + quoteSqlName(schema) + ".aseemu_log (at, sql) VALUES (?, ?)");
    insert.bind(1, time).bind(2, sql).step();
    return sqlite3_last_insert_rowid(db.handle());
}

std::vector<LogRecord> TransactionLog::recordsAfter(SqliteDatabase& db, std::int64_t sequence) {
    SqliteStatement query(db, "SELECT seq, at, sql FROM aseemu_log WHERE seq > ? ORDER BY seq");
    query.bind(1, sequence);
    std::vector<LogRecord> records;
    while (query.step())
        records.push_back(LogRecord{query.integer(0), query.text(1), query.text(2)});
    return records;
}

std::int64_t TransactionLog::lastSequence(SqliteDatabase& db) {
    SqliteStatement query(db, "SELECT seq FROM sqlite_sequence WHERE name = 'aseemu_log'");
    if (query.step()) return query.integer(0);
    return 0;
}

void TransactionLog::truncateThrough(SqliteDatabase& db, std::int64_t sequence) {
    SqliteStatement remove(db, "DELETE FROM aseemu_log WHERE seq <= ?");
    remove.bind(1, sequence).step();
}

std::optional<std::string> TransactionLog::meta(SqliteDatabase& db, const std::string& key) {
    SqliteStatement query(db, "SELECT value FROM aseemu_meta WHERE key = ?");
    query.bind(1, key);
    if (query.step()) return query.text(0);
    return std::nullopt;
}

void TransactionLog::setMeta(SqliteDatabase& db, const std::string& key, const std::string& value) {
    SqliteStatement upsert(db,
                           "INSERT INTO aseemu_meta (key, value) VALUES (?, ?) "
                           "ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    upsert.bind(1, key).bind(2, value).step();
}

bool TransactionLog::isInternalTable(const std::string& name) {
    return name.rfind("aseemu_", 0) == 0 || name.rfind("sqlite_", 0) == 0;
}

}  // namespace tvr::sim
