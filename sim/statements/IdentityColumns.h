#pragma once
// Identity columns, which SQLite does not have: a create table that declares one notes its
// column in the table `aseemu_identity` of its database (table, column, last value given) and
// adds a trigger that gives each row inserted without a value the next number, as the server
// does, never reusing one after a delete. The statements are logged with the table, so replayed
// logs number alike. An insert without a column list leaves the identity column out, as on the
// server; the connection's last number given is @@identity.
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvr::sim {

class SqliteDatabase;

// The statements that set up numbering for `column` of `table` in `schema` (qualified with the
// schema, or as they read inside that database when `qualified` is false).
std::vector<std::string> identityStatements(const std::string& schema, const std::string& table,
                                            const std::string& column, bool qualified);

// aseemu_identity_given(n), called by the triggers: keeps n in `last` (may be null: ignored).
void registerIdentityFunction(sqlite3* db, std::int64_t* last);

// The insert `sql` with the column list SQLite needs, when `error` says it got one value fewer
// than the table has columns and the missing one is the table's identity column; else nothing.
std::optional<std::string> insertWithoutIdentity(SqliteDatabase& db, const std::string& sql,
                                                 const std::string& error);

// `sql` with the word syb_identity, the server's name for a table's identity column, replaced
// by the identity column of the table of the statement that has one (the first named).
std::string withIdentityColumn(SqliteDatabase& db, const std::string& sql);

}  // namespace tvr::sim
