#pragma once
// The dump and load statements, carried out by the Backup Server, and the statements of the
// faults a test arms ("emulator fault ...") and of the stall one of them causes.
#include "sim/procs/BackupServices.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// dump database/transaction, load database/transaction, online database.
StatementOutcome runBackupStatement(BackupServices& services, ExecutionContext& context,
                                    const Statement& statement);

// "emulator fault disconnect|error N|stall N|clear".
StatementOutcome runFault(BackupServices& services, ExecutionContext& context,
                          const Statement& statement);

// Waits the armed stall out (a cancel ends it), then runs the statement as usual.
StatementOutcome runStall(BackupServices& services, ExecutionContext& context,
                          const Statement& statement);

}  // namespace tvr::sim
