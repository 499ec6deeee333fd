#pragma once
// Column descriptions and values as the emulator sends them in row results.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "sim/statements/ExactNumber.h"

namespace tvr::sim {

// A datetime as the protocol carries it: days since 1 January 1900 and the time of day in
// three-hundredths of a second.
struct DateTimeValue {
    std::int32_t days = 0;
    std::int32_t ticks = 0;
    bool operator==(const DateTimeValue&) const = default;
};

// Char holds values padded to its length (a not null char(n) column); a nullable char(n) column
// is a VarChar, as the server stores it. Real is a 4-byte float; Text a text column. Numeric and
// Decimal have a precision and a scale; Money and SmallMoney four decimals in 8 and 4 bytes.
// Binary (a not null binary(n), padded with zeros), VarBinary and Image hold bytes.
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
    Text,
    Numeric,
    Decimal,
    Money,
    SmallMoney,
    Binary,
    VarBinary,
    Image
};

inline constexpr int kSmallDateTimeLength = 4;

struct Column {
    std::string name;
    ColumnKind kind = ColumnKind::VarChar;
    // Characters of Char and VarChar columns, bytes of Binary and VarBinary; of a DateTime,
    // kSmallDateTimeLength for a smalldatetime (sent as a datetime, to the minute).
    int length = 255;
    bool nullable = true;
    int precision = 18;  // of Numeric and Decimal: the server's default numeric(18,0)
    int scale = 0;       // of Numeric, Decimal (as declared) and money (4)
    // Of a text or image column read from a table: the table as a statement in the current
    // database names it ("t", "db..t"), which clients put before the column's name to write it.
    std::string table{};
};

// NULL, an integer, a float, a text (or the bytes of a binary column), a datetime or an exact
// number.
using Value =
    std::variant<std::monostate, std::int64_t, double, std::string, DateTimeValue, ExactNumber>;

using Row = std::vector<Value>;

// Where the columns of a `select ... for browse` come from, as a browsing client reads it: the
// tables (as the statement names them) and, per column, the table (1-based; 0 for a computed
// column), the table's own name of the column and whether it is part of the table's key.
struct BrowseInformation {
    struct Source {
        int table = 0;
        std::string name;
        bool key = false;
    };
    std::vector<std::string> tables;
    std::vector<Source> columns;
};

}  // namespace tvr::sim
