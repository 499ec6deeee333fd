#pragma once
// Bulk copy in: "insert bulk TABLE" prepares the connection for the rows of that table, which
// the client then sends in a bulk packet; the rows go into the table as inserts, logged like
// any other, in one transaction: all of them or none. The table's columns are those its
// "select *" describes, as the client read them before (set fmtonly on).
#include <cstdint>
#include <vector>

#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// Adds "insert bulk" ahead of the ordinary insert. It leaves the connection's bulkData handler
// set to put the rows of the next bulk packet into the table: the outcome has the number of
// rows, or is the failure with its message sent (nothing is kept then).
void addBulkCopyCommands(CommandSet& commands);

}  // namespace tvr::sim
