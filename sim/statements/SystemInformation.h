#pragma once
// sp_help ([[db.]owner.]name: the object and the columns of a table or view; without one, the
// objects of the current database) and sp_who ([login | spid]: one row per connection), as
// native procedures.
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

void addSystemInformation(CommandSet& commands);

}  // namespace tvr::sim
