#pragma once
// Runs a statement in SQLite on the current database and sends its result: a row format and
// rows for a query, a count for insert, update and delete. Column types come from the declared
// types of the columns (char, varchar, int, smallint, tinyint, float, datetime, ...), and for
// computed columns from their values. Modifying statements on a user database are recorded in
// its transaction log in the same SQLite transaction.
#include "sim/StatementHandlers.h"

#include <string>

namespace tvr::sim {

// `doneToken` is the token statements of this level end with (inside a procedure, done-in-proc),
// used only for error reports that end the statement early.
StatementOutcome runSqlStatement(ExecutionContext& context, const Statement& statement);

// Runs SQLite text directly (already translated), with logging as above.
StatementOutcome runSqliteText(ExecutionContext& context, const std::string& sql, const std::set<std::string>& databases,
                               const Statement& statement);

// The server message for an SQLite error text.
ServerMessage messageForSqliteError(const std::string& text, const Statement& statement);

// The variables every statement may use (@@servername, @@version, @@spid, @@rowcount, ...).
std::optional<std::string> globalVariable(ExecutionContext& context, const std::string& name);

} // namespace tvr::sim
