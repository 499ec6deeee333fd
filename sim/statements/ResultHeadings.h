#pragma once
// The headings of a result's columns as the server gives them: a column's name, an alias as
// written, and no heading for a computed column without an alias. SQLite names every column,
// so what the statement says of each item of its select list decides.
#include <string>
#include <vector>

#include "sim/statements/BatchSplitter.h"

namespace tvr::sim {

// What the statement says of one item of its select list.
struct SelectItem {
    bool getdate = false;  // getdate(), alone or with an alias: SQLite sees only a text there
    bool aliased = false;  // a heading given explicitly: `expr as name`, `expr name`, any quoting
    std::string
        convertType;  // the type of convert(type, ...) or of a number literal, the whole item
    // min, max, sum or avg of one column when that is the whole item: the column's name.
    std::string aggregatedColumn;
    bool summed = false;  // the aggregate is sum or avg
    // Made of literals only: never NULL, and sent so (INT4 rather than INTN). A number literal
    // alone gives its type in convertType.
    bool constant = false;
};

// The items of the statement's select list, in order. Empty when they cannot be matched to
// columns (a * among them).
std::vector<SelectItem> selectItems(const Statement& statement);

// A bare name as a heading: what an un-aliased column reference gives, never a number.
bool looksLikeName(const std::string& name);

}  // namespace tvr::sim
