#pragma once
// Procedures as statements: create and drop procedure, the existence test installation scripts
// put before a drop, and the call of a stored procedure, run by the interpreter as written.
#include <optional>
#include <string>

#include "sim/procs/BackupServices.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

StatementOutcome runCreateProcedure(ExecutionContext& context, const Statement& statement);
StatementOutcome runDropProcedure(ExecutionContext& context, const Statement& statement);

// The condition of an if or while when it is the existence test installation scripts use
// (exists (select ... from sysobjects where name = ...), object_id(...) is null): its truth;
// nothing for any other condition.
std::optional<bool> testObjectCondition(ExecutionContext& context,
                                        const std::vector<SqlToken>& condition);

// Runs a statement through the command set, as the batch runner would.
StatementOutcome dispatch(ExecutionContext& context, const Statement& statement);

// The call of a stored procedure; nothing when no procedure of that name is stored.
std::optional<StatementOutcome> runStoredProcedure(BackupServices& services,
                                                   ExecutionContext& context,
                                                   const std::string& name,
                                                   const ProcedureArguments& arguments,
                                                   const Statement& statement);

}  // namespace tvr::sim
