#pragma once
// A SQLite file system for the data part of a dump file: the database that follows the dump's
// header, at offset kDumpHeaderSize. A dump writes its snapshot straight into the dump file
// through it, and a load reads the dump's database in place, so the data moves once each way
// instead of passing through a scratch copy.
#include <sqlite3.h>

#include <string>

namespace tvr::sim {

// The name to pass to sqlite3_open_v2 for a database inside a dump file; registered on first use.
const char* dumpDataVfs();

}  // namespace tvr::sim
