#pragma once
// The values a statement takes from the server and the connection: the global variables
// (@@servername, @@version, @@spid, @@rowcount, ...) and the functions whose value depends on
// the connection, both as SQL literals.
#include <optional>
#include <string>

#include "sim/statements/ExecutionContext.h"

namespace tvr::sim {

// The variables every statement may use (@@servername, @@version, @@spid, @@rowcount, ...).
std::optional<std::string> globalVariable(ExecutionContext& context, const std::string& name);

// The server's functions whose value depends on the connection, as literals: a change that uses
// them is logged with the values it had, not those of whoever replays it.
std::optional<std::string> connectionFunction(ExecutionContext& context, const std::string& name);

}  // namespace tvr::sim
