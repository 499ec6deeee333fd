#pragma once
// select ... into TABLE ... : a new table made from a query's result, as the server makes it,
// without log records for its rows (a minimally logged operation):
//  - into a permanent table only where the database option "select into/bulkcopy/pllsort" is set
//    (else 268); into a #table of the session or a table of tempdb always;
//  - never inside a transaction (226);
//  - afterwards the database refuses transaction dumps (4207) until its next database dump.
// The columns keep the types their values come from; the row count is the rows put in.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// Where a select ... into puts its rows: the into clause spans tokens [into, end).
struct SelectIntoTarget {
    std::size_t into = 0;
    std::size_t end = 0;
    std::optional<std::string> database;  // db..table or db.owner.table
    std::string table;
    bool temporary = false;  // #table
};

// The target of a statement that is a select with an into clause outside parentheses; nothing
// for any other statement.
std::optional<SelectIntoTarget> selectIntoTarget(const std::vector<SqlToken>& tokens);

StatementOutcome runSelectInto(ExecutionContext& context, const Statement& statement);

}  // namespace tvr::sim
