#pragma once
// The server's message for an error SQLite reports while preparing or running a statement.
#include <string>

#include "sim/statements/BatchSplitter.h"
#include "sim/statements/ServerMessages.h"

namespace tvr::sim {

// The server message for an SQLite error text, at the statement's line.
ServerMessage messageForSqliteError(const std::string& text, const Statement& statement);

}  // namespace tvr::sim
