#pragma once
// Column descriptions and values as the emulator sends them in row results.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tvr::sim {

// A datetime as the protocol carries it: days since 1 January 1900 and the time of day in
// three-hundredths of a second.
struct DateTimeValue {
    std::int32_t days = 0;
    std::int32_t ticks = 0;
    bool operator==(const DateTimeValue&) const = default;
};

// Char holds values padded to its length (a not null char(n) column); a nullable char(n) column
// is a VarChar, as the server stores it. Real is a 4-byte float; Text a text column.
enum class ColumnKind {
    Char,
    VarChar,
    Int,
    SmallInt,
    TinyInt,
    BigInt,
    Float,
    Real,
    DateTime,
    Text
};

struct Column {
    std::string name;
    ColumnKind kind = ColumnKind::VarChar;
    int length = 255;  // characters of Char and VarChar columns
    bool nullable = true;
};

// NULL, an integer, a float, a text or a datetime.
using Value = std::variant<std::monostate, std::int64_t, double, std::string, DateTimeValue>;

using Row = std::vector<Value>;

}  // namespace tvr::sim
