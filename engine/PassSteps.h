#pragma once
// The server side of a pass as the worker judges it: one sp_TVR step with its outcome, and
// the question asked of the main server before a transaction pass, whether its log can be
// dumped at all. Free functions on one connection, so that they are tested against the
// emulator without a worker.
#include "client/Sybase.h"
#include "engine/WatchRules.h"

#include <optional>
#include <string>

namespace tvr::engine {

// Sends "use master", then `statement` (an sp_TVR call), as every pass does, and
// judges the step by its return status and by the connection: a connection the library holds
// dead is not used at all (not reached, connection lost) and one that died during the call
// gives a failed step.
StepResult runProcedureStep(client::TSybaseConnect& connection, const std::string& statement);

// The text of the question: select tran_dumpable_status("db").
std::string tranDumpableStatement(const std::string& database);

// tran_dumpable_status of `database`: 0 when a transaction dump would be allowed, else the
// sum of the reasons it would be refused. None when the server gave no number (a server that
// does not know the function, a lost connection); the server's messages are in the logs.
std::optional<int> tranDumpableStatus(client::TSybaseConnect& connection,
                                      const std::string& database);

}  // namespace tvr::engine
