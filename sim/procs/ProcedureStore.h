#pragma once
// Stored procedures of one database, kept in its SQLite file (table aseemu_procs: name, text as
// the client sent it, creation time) so that they travel with the database through dumps and
// loads. Names compare exactly, as on a server with the default binary sort order.
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

namespace tvr::sim::procstore {

// The SQLite text that creates the procedure (and the table when missing); the caller runs it
// and records it in the transaction log in the same transaction.
std::string createSql(const std::string& name, const std::string& text, const std::string& created);
std::string dropSql(const std::string& name);

bool exists(sqlite3* db, const std::string& name);
std::optional<std::string> text(sqlite3* db, const std::string& name);

}  // namespace tvr::sim::procstore
