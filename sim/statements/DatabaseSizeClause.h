#pragma once
// The space a create database statement gives its database:
//   create database NAME [on DEVICE [= size] [, DEVICE [= size]]...]
//                        [log on DEVICE [= size] [, DEVICE [= size]]...] [with ...] [for load]
// A size is a number of megabytes (2, 2.5) or a text with its unit ('20M', '512K', '1G').
// Without sizes the data gets the default database size; a log on a device of its own without a
// size gets the default size too.
#include <cstddef>
#include <optional>
#include <vector>

#include "sim/statements/SqlLexer.h"
#include "sim/storage/ServerState.h"

namespace tvr::sim {

struct DatabaseSizeClause {
    DatabaseSize size;
    bool logOn = false;    // a log on devices of its own
    bool forLoad = false;  // for load: made to be loaded, unusable until then
};

// The clauses after the name at tokens[start]; nullopt with the index of the offending token
// (a size that is no positive amount, a clause that does not parse).
std::optional<DatabaseSizeClause> parseDatabaseSizeClause(const std::vector<SqlToken>& tokens,
                                                          std::size_t start,
                                                          std::size_t& offending);

}  // namespace tvr::sim
