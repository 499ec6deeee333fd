#pragma once
// The server's text functions that SQLite lacks: len, datalength, char_length, replicate,
// charindex and str_replace. They depend on their arguments alone, so statements run by clients
// and statements replayed by a load see the same ones.
#include <sqlite3.h>

namespace tvr::sim {

void registerTextFunctions(sqlite3* db);

}  // namespace tvr::sim
