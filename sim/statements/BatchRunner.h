#pragma once
// Runs one language command: cuts it into statements, hands each to its handler, and ends each
// with a done token (more-results set on all but the last, the error bit and the count where
// they apply). A syntax error stops the batch; other errors end only their statement.
#include "sim/statements/StatementHandlers.h"

#include <string>

namespace tvr::sim {

enum class BatchResult { Completed, Cancelled };

// `variables`: what the batch starts with (the parameters a language command came with).
BatchResult runBatch(ExecutionContext& context, const std::string& batch,
                     VariableScope variables = {});

// Runs one statement with its handler at the statement time of now; a statement no handler
// takes is a syntax error that ends the batch, and a database that cannot be used or an SQLite
// failure ends only the statement, with the message sent.
StatementOutcome runStatement(ExecutionContext& context, const Statement& statement);

// Runs the text an execute ('...') statement builds as a batch of its own: its statements end
// with done-in-proc tokens, and an error that ends that batch ends only the execute statement.
StatementOutcome runNestedBatch(ExecutionContext& context, const std::string& text);

}  // namespace tvr::sim
