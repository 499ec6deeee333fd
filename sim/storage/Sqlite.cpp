#include "sim/storage/Sqlite.h"

namespace tvr::sim {

SqliteDatabase::SqliteDatabase(const std::string& path, bool create) : path_(path) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError(rc, "cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 30000);
    sqlite3_extended_result_codes(db_, 0);
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA synchronous=NORMAL");
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close_v2(db_); }

void SqliteDatabase::execute(const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error != nullptr ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw SqliteError(rc, message);
    }
}

SqliteStatement::SqliteStatement(SqliteDatabase& db, const std::string& sql) {
    int rc = sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &statement_,
                                nullptr);
    if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(db.handle()));
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement& SqliteStatement::bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t number) {
    sqlite3_bind_int64(statement_, index, number);
    return *this;
}

bool SqliteStatement::step() {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SqliteError(rc, sqlite3_errmsg(sqlite3_db_handle(statement_)));
}

std::string SqliteStatement::text(int column) const {
    const unsigned char* value = sqlite3_column_text(statement_, column);
    return value != nullptr
               ? std::string(reinterpret_cast<const char*>(value),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
               : std::string();
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

}  // namespace tvr::sim
