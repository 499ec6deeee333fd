#pragma once
// Bulk copy in: "insert bulk TABLE" prepares the connection for the rows of that table, which
// the client then sends in a bulk packet; the rows go into the table as inserts, logged like
// any other, in one transaction: all of them or none. The table's columns are those its
// "select *" describes, as the client read them before (set fmtonly on).
#include <cstdint>
#include <vector>

#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// Adds "insert bulk" ahead of the ordinary insert.
void addBulkCopyCommands(CommandSet& commands);

// The rows of the bulk packet after "insert bulk" put into its table: the outcome with the
// number of rows, or the failure with its message sent (nothing is kept then).
StatementOutcome copyBulkRows(ExecutionContext& context, const std::vector<std::uint8_t>& rows);

}  // namespace tvr::sim
