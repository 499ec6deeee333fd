#pragma once
// What the program asks the reserve server before it loads: the state of the reserve
// database (online, or offline in its load sequence), so that a full load never replaces a
// database applications may be using, and the header of a dump file (load ... with
// headeronly), so that a file is loaded only when it is the dump the ledger says it is. Free
// functions on one connection, tested against the emulator without a worker.
#include "client/Sybase.h"
#include "engine/PassHistory.h"

#include <optional>
#include <string>
#include <vector>

namespace tvr::engine {

// The server's own status bits of sysdatabases: status 32 "for load" (created for load, or
// in a load sequence), 256 "suspect"; status2 16 "offline".
enum class DatabaseState {
    Online,   // in use: applications may be writing to it
    Loading,  // offline in a load sequence: the next transaction load may follow
    Offline,  // offline otherwise (suspect, or taken offline)
};
DatabaseState databaseStateOf(long long status, long long status2);
const char* databaseStateText(DatabaseState state);

// select status, status2 from master..sysdatabases where name = "DB"
std::string databaseStateStatement(const std::string& database);
// The state of `database` on the server; none when the server gave no answer (a lost
// connection, no such database: its messages are in the logs).
std::optional<DatabaseState> databaseState(client::TSybaseConnect& connection,
                                           const std::string& database);

// What a dump's header says of it.
struct TDumpHeader {
    bool full = false;        // a database dump; else a log dump
    std::string database;     // the database it was dumped from
    std::string sequenceOld;  // a log dump's sequence dates (empty for a database dump):
    std::string sequenceNew;  // old is the new of the dump before it in the chain
    bool operator==(const TDumpHeader&) const = default;
};

// The header from the server's informational messages of a headeronly load; none when
// they hold no "This is a ... dump of database" line.
std::optional<TDumpHeader> parseDumpHeader(const std::vector<std::string>& messages);

// load {database|tran} DB from "PATH" with headeronly
std::string headerOnlyStatement(bool full, const std::string& database, const std::string& path);

// Reads the header of the dump file `path` on the reserve server; none when it cannot be read
// (the server's messages are in the logs).
std::optional<TDumpHeader> readDumpHeader(client::TSybaseConnect& connection, bool full,
                                          const std::string& database, const std::string& path);

// What differs between a header and the dump the ledger expects: made from `mainDatabase`,
// of kind `kind`, and (for a log dump, when the dump loaded before it had its header read)
// following the dump whose header's new date is `previousNew`. Empty when it matches.
std::string headerMismatch(const TDumpHeader& header, const std::string& mainDatabase,
                           PassKind kind, const std::string& previousNew);

}  // namespace tvr::engine
