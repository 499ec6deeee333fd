#pragma once
// A thin owner of SQLite handles. Errors become SqliteError with SQLite's own text, which the
// statement layer turns into server messages.
#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tvr::sim {

class SqliteError : public std::runtime_error {
public:
    SqliteError(int resultCode, const std::string& what)
        : std::runtime_error(what), code(resultCode) {}
    int code;
};

class SqliteStatement;

class SqliteDatabase {
public:
    // Opens (creating when asked) the file in WAL mode with a generous busy timeout.
    SqliteDatabase(const std::string& path, bool create);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void execute(const std::string& sql);
    sqlite3* handle() const { return db_; }
    const std::string& path() const { return path_; }
    bool inTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

private:
    sqlite3* db_ = nullptr;
    std::string path_;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const std::string& sql);
    SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& bind(int index, const std::string& text);
    SqliteStatement& bind(int index, std::int64_t number);
    // True while there is a row.
    bool step();
    std::string text(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    sqlite3_stmt* handle() const { return statement_; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tvr::sim
