#pragma once
// Runs a statement in SQLite on the current database and sends its result: a row format and
// rows for a query, a count for insert, update and delete. Column types come from the declared
// types of the columns (char, varchar, int, smallint, tinyint, float, datetime, ...), and for
// computed columns from their values. A statement that changes a user database is recorded in
// that database's transaction log in the same SQLite transaction, whichever database is current.
#include "sim/statements/StatementHandlers.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sim/statements/ColumnTyping.h"

namespace tvr::sim {

// Translates the statement, runs it in SQLite and sends its result or its error.
StatementOutcome runSqlStatement(ExecutionContext& context, const Statement& statement);

// Runs a query whose values the server keeps instead of sending them (a variable's
// assignment, a condition, a return value) and gives its rows as SQLite returns them; the
// failed outcome, with its message sent, when it cannot run.
std::variant<std::vector<std::vector<RawValue>>, StatementOutcome> queryValues(
    ExecutionContext& context, const Statement& statement);

// The columns a query would send (its row format), without running it for rows; the failed
// outcome, with its message sent, when it cannot run.
std::variant<std::vector<Column>, StatementOutcome> queryColumns(ExecutionContext& context,
                                                                 const Statement& statement);

// A statement of the emulator's own making (the query behind a bulk copy or a text command),
// as the statement layer takes it; nullopt unless `sql` is exactly one statement.
std::optional<Statement> makeStatement(const ExecutionContext& context, const std::string& sql,
                                       int line);

}  // namespace tvr::sim
