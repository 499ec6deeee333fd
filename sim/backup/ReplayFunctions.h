#pragma once
// The server's functions as a replayed statement sees them: getdate() gives the time the
// statement first ran at, the text functions are the server's own. Changes are logged with the
// values of the connection's functions in place; the others here serve logs written before.
#include <sqlite3.h>

#include <string>

namespace tvr::sim {

struct ReplayScope {
    std::string time;
    std::string database;
};

// Registers them on `db`, reading `scope` as each statement runs.
void registerReplayFunctions(sqlite3* db, ReplayScope& scope);
// Takes away those that read the scope, once it is gone (the connection is kept for more).
void unregisterReplayFunctions(sqlite3* db);

}  // namespace tvr::sim
