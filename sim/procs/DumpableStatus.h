#pragma once
// tran_dumpable_status('db'): whether dump transaction of a database would be allowed, as the
// bits of the server's reference manual, so that a client can ask before it tries.
#include "sim/procs/BackupServices.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// The bits the function returns; 0 means dump transaction is allowed.
enum DumpableBits : int {
    kDumpableNoSuchDatabase = 1,
    kDumpableMixedLog = 2,
    kDumpableTruncLogOnCheckpoint = 8,
    kDumpableUnloggedWrites = 16,
    kDumpableTruncatedChain = 32,
    kDumpableNeverDumped = 64,
};

// The bits for a database, from the same facts dump transaction refuses on.
int tranDumpableStatus(BackupServices& services, const std::string& database);

// Makes the function known on every connection of the server.
void addDumpableStatusFunction(CommandSet& commands, BackupServices& services);

}  // namespace tvr::sim
