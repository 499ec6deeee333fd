#pragma once
// Runs a statement in SQLite on the current database and sends its result: a row format and
// rows for a query, a count for insert, update and delete. Column types come from the declared
// types of the columns (char, varchar, int, smallint, tinyint, float, datetime, ...), and for
// computed columns from their values. A statement that changes a user database is recorded in
// that database's transaction log in the same SQLite transaction, whichever database is current.
#include "sim/StatementHandlers.h"

#include <string>

namespace tvr::sim {

// Translates the statement, runs it in SQLite and sends its result or its error.
StatementOutcome runSqlStatement(ExecutionContext& context, const Statement& statement);

// The server message for an SQLite error text.
ServerMessage messageForSqliteError(const std::string& text, const Statement& statement);

// The variables every statement may use (@@servername, @@version, @@spid, @@rowcount, ...).
std::optional<std::string> globalVariable(ExecutionContext& context, const std::string& name);

}  // namespace tvr::sim
