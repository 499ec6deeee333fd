#pragma once
// The types of a result's columns: the column a declared type stands for, the values SQLite
// returns as they are, and the settling of each column's kind and length from both.
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/statements/Values.h"

namespace tvr::sim {

// One value as SQLite returned it.
struct RawValue {
    int type = SQLITE_NULL;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
};

RawValue readValue(sqlite3_stmt* statement, int column);

// The value as text, as a varchar column sends it.
std::string rawText(const RawValue& value);

// The column a declared type stands for; nothing for a type that says nothing (no column).
std::optional<Column> columnForDeclaredType(const char* declared);

// The value as the column's kind sends it; nothing when it does not fit. Texts longer than a
// short column are cut to its length, as the server keeps no more in such a column.
std::optional<Value> convertValue(const Column& column, const RawValue& value);

// Numeric, decimal, money and smallmoney.
bool isExact(ColumnKind kind);
// Binary, varbinary and image.
bool isBinary(ColumnKind kind);

// The server's name of a column kind, for conversion errors.
const char* kindName(ColumnKind kind);

// Settles each column's kind and length from the declared types and the values at hand,
// widening an integer column whose values do not fit and falling back to varchar for values of
// another kind. `openEnded`: more rows follow that were not seen, so short text columns without
// a declared length are made 255 characters wide. Returns the rows in the settled types.
std::vector<Row> typeColumns(std::vector<Column>& columns, const std::vector<bool>& declared,
                             const std::vector<std::vector<RawValue>>& rawRows, bool openEnded);

}  // namespace tvr::sim
