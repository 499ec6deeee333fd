#pragma once
// The server resolves every function a batch names while it compiles the batch, so a call of a
// function it does not know refuses the whole batch (14216) before anything of it runs. This
// finds such a call in the statements of a parsed batch that SQLite runs.
#include <sqlite3.h>

#include <optional>
#include <set>
#include <string>

#include "sim/statements/Interpreter.h"

namespace tvr::sim {

// The functions statements may call: those SQLite knows on `db` (its own and the emulator's),
// and those the translator rewrites. Names in lower case.
std::set<std::string> knownFunctions(sqlite3* db);

// The first call in `program` of a function not in `known`, as written; nothing when there is
// none. Statements the emulator handles itself (use, print, dump, ...) are not looked at.
std::optional<SqlToken> unknownFunctionCall(const Program& program, const CommandSet& commands,
                                            const std::set<std::string>& known);

}  // namespace tvr::sim
