#pragma once
// Runs a statement in SQLite on the current database and sends its result: a row format and
// rows for a query, a count for insert, update and delete. Column types come from the declared
// types of the columns (char, varchar, int, smallint, tinyint, float, datetime, ...), and for
// computed columns from their values. A statement that changes a user database is recorded in
// that database's transaction log in the same SQLite transaction, whichever database is current.
#include "sim/statements/StatementHandlers.h"

#include <string>

namespace tvr::sim {

// Translates the statement, runs it in SQLite and sends its result or its error.
StatementOutcome runSqlStatement(ExecutionContext& context, const Statement& statement);

}  // namespace tvr::sim
