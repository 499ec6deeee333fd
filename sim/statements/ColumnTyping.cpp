#include "sim/statements/ColumnTyping.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "sim/protocol/ServerTokens.h"
#include "sim/statements/ColumnLengths.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/ExactStorage.h"
#include "sim/statements/SqlLexer.h"

namespace tvr::sim {
namespace {

std::optional<std::int64_t> rawInteger(const RawValue& value) {
    if (value.type == SQLITE_INTEGER) return value.integer;
    if (value.type == SQLITE_FLOAT && std::nearbyint(value.real) == value.real &&
        std::fabs(value.real) < 9e18)
        return static_cast<std::int64_t>(value.real);
    if (value.type == SQLITE_TEXT) {
        char* end = nullptr;
        errno = 0;
        long long number = std::strtoll(value.text.c_str(), &end, 10);
        if (!value.text.empty() && end != nullptr && *end == '\0' && errno == 0) return number;
    }
    return std::nullopt;
}

std::optional<double> rawReal(const RawValue& value) {
    if (value.type == SQLITE_FLOAT) return value.real;
    if (value.type == SQLITE_INTEGER) return static_cast<double>(value.integer);
    if (value.type == SQLITE_TEXT) {
        char* end = nullptr;
        double number = std::strtod(value.text.c_str(), &end);
        if (!value.text.empty() && end != nullptr && *end == '\0') return number;
    }
    return std::nullopt;
}

// The exact number of a value SQLite returned: an integer, a float (the shortest decimal that
// gives it back), or a text that is a number.
std::optional<ExactNumber> rawExact(const RawValue& value) {
    switch (value.type) {
        case SQLITE_INTEGER:
            return parseExactNumber(std::to_string(value.integer));
        case SQLITE_FLOAT:
            if (!std::isfinite(value.real)) return std::nullopt;
            return exactFromDouble(value.real);
        case SQLITE_TEXT:
            return parseExactNumber(value.text);
        default:
            return std::nullopt;
    }
}

// The value in the column's exact type: its scale, within its precision or money's range.
std::optional<ExactNumber> exactFor(const Column& column, const RawValue& value) {
    std::optional<ExactNumber> number = rawExact(value);
    if (!number) return std::nullopt;
    ExactNumber scaled = withScale(*number, column.scale);
    if (column.kind == ColumnKind::Money || column.kind == ColumnKind::SmallMoney) {
        const std::optional<std::int64_t> units = unscaledValue(scaled);
        if (!units) return std::nullopt;
        if (column.kind == ColumnKind::SmallMoney &&
            (*units < std::numeric_limits<std::int32_t>::min() ||
             *units > std::numeric_limits<std::int32_t>::max()))
            return std::nullopt;
    } else if (precisionOf(scaled) > column.precision) {
        return std::nullopt;
    }
    return scaled;
}

// A text SQLite returned for a number too long for its floats: what an exact column or an exact
// sum holds beyond 15 digits.
std::optional<ExactNumber> longExactText(const RawValue& value) {
    if (value.type != SQLITE_TEXT || value.text.empty() || value.text.front() == ' ')
        return std::nullopt;
    std::optional<ExactNumber> number = parseExactNumber(value.text);
    if (!number || significantDigits(*number) <= 15) return std::nullopt;
    return number;
}

bool isInteger(ColumnKind kind) {
    return kind == ColumnKind::Int || kind == ColumnKind::SmallInt || kind == ColumnKind::TinyInt ||
           kind == ColumnKind::BigInt;
}

bool inRange(ColumnKind kind, std::int64_t number) {
    switch (kind) {
        case ColumnKind::TinyInt:
            return number >= 0 && number <= 255;
        case ColumnKind::SmallInt:
            return number >= -32768 && number <= 32767;
        case ColumnKind::Int:
            return number >= std::numeric_limits<std::int32_t>::min() &&
                   number <= std::numeric_limits<std::int32_t>::max();
        default:
            return true;
    }
}

}  // namespace

bool isExact(ColumnKind kind) {
    return kind == ColumnKind::Numeric || kind == ColumnKind::Decimal ||
           kind == ColumnKind::Money || kind == ColumnKind::SmallMoney;
}

RawValue readValue(sqlite3_stmt* statement, int column) {
    RawValue value;
    value.type = sqlite3_column_type(statement, column);
    switch (value.type) {
        case SQLITE_INTEGER:
            value.integer = sqlite3_column_int64(statement, column);
            break;
        case SQLITE_FLOAT:
            value.real = sqlite3_column_double(statement, column);
            break;
        case SQLITE_TEXT: {
            const unsigned char* text = sqlite3_column_text(statement, column);
            if (text != nullptr)
                value.text.assign(
                    reinterpret_cast<const char*>(text),
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
            break;
        }
        case SQLITE_BLOB: {
            const void* bytes = sqlite3_column_blob(statement, column);
            if (bytes != nullptr)
                value.text.assign(
                    static_cast<const char*>(bytes),
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
            break;
        }
        default:
            break;
    }
    return value;
}

std::string rawText(const RawValue& value) {
    switch (value.type) {
        case SQLITE_INTEGER:
            return std::to_string(value.integer);
        case SQLITE_FLOAT:
            return valueText(Value{value.real});
        case SQLITE_TEXT:
        case SQLITE_BLOB:
            return value.text;
        default:
            return {};
    }
}

bool isBinary(ColumnKind kind) {
    return kind == ColumnKind::Binary || kind == ColumnKind::VarBinary || kind == ColumnKind::Image;
}

std::optional<Column> columnForDeclaredType(const char* declared) {
    if (declared == nullptr) return std::nullopt;
    std::string type = declaredTypeOf(asciiLower(declared));
    Column column;
    int length = -1;
    std::size_t paren = type.find('(');
    if (paren != std::string::npos) length = std::atoi(type.c_str() + paren + 1);
    std::string base = type.substr(0, paren);
    while (!base.empty() && std::isspace(static_cast<unsigned char>(base.back()))) base.pop_back();
    if (base == "image") {
        column.kind = ColumnKind::Image;
        column.length = -1;
    } else if (base == "binary" || base == "varbinary" || base == "timestamp") {
        column.kind = base == "binary" ? ColumnKind::Binary : ColumnKind::VarBinary;
        column.length = base == "timestamp" ? 8 : length;
    } else if (base == "text" || base == "unitext") {
        column.kind = ColumnKind::Text;
        column.length = -1;
    } else if (base.find("char") != std::string::npos || base == "sysname") {
        column.kind = (base == "char" || base == "nchar" || base == "unichar")
                          ? ColumnKind::Char
                          : ColumnKind::VarChar;
        column.length = base == "sysname" ? 30 : declaredByteLength(base, length);
    } else if (base == "int" || base == "integer") {
        column.kind = ColumnKind::Int;
    } else if (base == "smallint") {
        column.kind = ColumnKind::SmallInt;
    } else if (base == "tinyint" || base == "bit") {
        column.kind = ColumnKind::TinyInt;
    } else if (base == "bigint") {
        column.kind = ColumnKind::BigInt;
    } else if (base == "real") {
        column.kind = ColumnKind::Real;
    } else if (base == "float" || base == "double" || base == "double precision") {
        column.kind = ColumnKind::Float;
    } else if (base == "numeric" || base == "decimal" || base == "dec") {
        column.kind = base == "numeric" ? ColumnKind::Numeric : ColumnKind::Decimal;
        if (length >= 1 && length <= kMaxNumericPrecision) column.precision = length;
        const std::size_t comma = type.find(',', paren == std::string::npos ? type.size() : paren);
        if (comma != std::string::npos) column.scale = std::atoi(type.c_str() + comma + 1);
        if (column.scale < 0 || column.scale > column.precision) column.scale = 0;
    } else if (base == "money" || base == "smallmoney") {
        column.kind = base == "money" ? ColumnKind::Money : ColumnKind::SmallMoney;
        column.precision = base == "money" ? 19 : 10;
        column.scale = 4;
    } else if (base == "datetime" || base == "smalldatetime" || base == "date" ||
               base == "bigdatetime") {
        column.kind = ColumnKind::DateTime;
        if (base == "smalldatetime") column.length = kSmallDateTimeLength;
    } else {
        return std::nullopt;
    }
    return column;
}

const char* kindName(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::TinyInt:
            return "TINYINT";
        case ColumnKind::SmallInt:
            return "SMALLINT";
        case ColumnKind::Int:
            return "INT";
        case ColumnKind::BigInt:
            return "BIGINT";
        case ColumnKind::Float:
            return "FLOAT";
        case ColumnKind::Real:
            return "REAL";
        case ColumnKind::Text:
            return "TEXT";
        case ColumnKind::DateTime:
            return "DATETIME";
        case ColumnKind::Numeric:
            return "NUMERIC";
        case ColumnKind::Decimal:
            return "DECIMAL";
        case ColumnKind::Money:
            return "MONEY";
        case ColumnKind::SmallMoney:
            return "SMALLMONEY";
        case ColumnKind::Binary:
            return "BINARY";
        case ColumnKind::VarBinary:
            return "VARBINARY";
        case ColumnKind::Image:
            return "IMAGE";
        default:
            return "VARCHAR";
    }
}

std::optional<Value> convertValue(const Column& column, const RawValue& value) {
    if (value.type == SQLITE_NULL) return Value{};
    if (isInteger(column.kind)) {
        std::optional<std::int64_t> number = rawInteger(value);
        if (!number || !inRange(column.kind, *number)) return std::nullopt;
        return Value{*number};
    }
    if (column.kind == ColumnKind::Float || column.kind == ColumnKind::Real) {
        std::optional<double> number = rawReal(value);
        if (!number) return std::nullopt;
        return Value{*number};
    }
    if (isExact(column.kind)) {
        std::optional<ExactNumber> number = exactFor(column, value);
        if (!number) return std::nullopt;
        return Value{*number};
    }
    if (column.kind == ColumnKind::DateTime) {
        std::optional<DateTimeValue> datetime =
            value.type == SQLITE_TEXT ? parseDateTime(value.text) : std::optional<DateTimeValue>();
        if (!datetime) return std::nullopt;
        if (column.length == kSmallDateTimeLength) *datetime = toTheMinute(*datetime);
        return Value{*datetime};
    }
    std::string text = rawText(value);
    if (column.kind == ColumnKind::Text || column.kind == ColumnKind::Image)
        return Value{std::move(text)};
    // A binary(n) value is as long as its column, filled with zeros.
    if (column.kind == ColumnKind::Binary && column.length > 0 && column.length <= 255)
        text.resize(static_cast<std::size_t>(column.length), '\0');
    if (column.length > 0 && column.length <= 255 &&
        text.size() > static_cast<std::size_t>(column.length))
        text.resize(static_cast<std::size_t>(column.length));
    // A char(n) value is as long as its column on the server.
    if (column.kind == ColumnKind::Char && column.length > 0 && column.length <= 255)
        text.resize(static_cast<std::size_t>(column.length), ' ');
    return Value{std::move(text)};
}

std::vector<Row> typeColumns(std::vector<Column>& columns, const std::vector<bool>& declared,
                             const std::vector<std::vector<RawValue>>& rawRows, bool openEnded) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        Column& column = columns[c];
        for (const auto& raw : rawRows)
            if (raw[c].type == SQLITE_NULL) column.nullable = true;
        if (!declared[c]) {
            // Computed: the values decide. Integers, then floats, exact numbers too long for a
            // float (a sum of exact columns, a long literal), else text.
            bool allIntegers = true, allNumbers = true, allBytes = true, any = false;
            int longExact = 0, scale = 0;
            for (const auto& raw : rawRows) {
                const RawValue& value = raw[c];
                if (value.type == SQLITE_NULL) continue;
                any = true;
                allIntegers = allIntegers && value.type == SQLITE_INTEGER;
                const std::optional<ExactNumber> exact = longExactText(value);
                if (exact) {
                    ++longExact;
                    scale = std::max(scale, exact->scale);
                }
                allNumbers = allNumbers && (value.type == SQLITE_INTEGER ||
                                            value.type == SQLITE_FLOAT || exact.has_value());
                allBytes = allBytes && value.type == SQLITE_BLOB;
            }
            if (column.kind != ColumnKind::DateTime)
                column.kind = !any                      ? ColumnKind::VarChar
                              : allIntegers             ? ColumnKind::Int
                              : allNumbers && longExact ? ColumnKind::Numeric
                              : allNumbers              ? ColumnKind::Float
                              : allBytes                ? ColumnKind::VarBinary
                                                        : ColumnKind::VarChar;
            if (column.kind == ColumnKind::Numeric) {
                column.precision = kMaxNumericPrecision;
                column.scale = std::min(scale, kMaxNumericPrecision);
            }
            column.length = -1;
        }
        const bool text = column.kind == ColumnKind::Char || column.kind == ColumnKind::VarChar ||
                          column.kind == ColumnKind::Text || isBinary(column.kind);
        bool fits = true;
        std::int64_t low = 0, high = 0;
        for (const auto& raw : rawRows) {
            const RawValue& value = raw[c];
            if (value.type == SQLITE_NULL || text) continue;
            if (isInteger(column.kind)) {
                if (auto number = rawInteger(value)) {
                    low = std::min(low, *number);
                    high = std::max(high, *number);
                } else {
                    fits = false;
                }
            } else {
                fits = fits && convertValue(column, value).has_value();
            }
        }
        if (!fits) {
            column.kind = ColumnKind::VarChar;
            column.length = -1;
        }
        for (ColumnKind wider : {ColumnKind::SmallInt, ColumnKind::Int, ColumnKind::BigInt})
            if (isInteger(column.kind) &&
                (!inRange(column.kind, low) || !inRange(column.kind, high)))
                column.kind = wider;
        if (column.kind == ColumnKind::Char || column.kind == ColumnKind::VarChar ||
            column.kind == ColumnKind::Binary || column.kind == ColumnKind::VarBinary) {
            std::size_t longest = 1;
            for (const auto& raw : rawRows) longest = std::max(longest, rawText(raw[c]).size());
            if (column.length < 0 && openEnded)
                column.length = static_cast<int>(std::max<std::size_t>(longest, 255));
            else if (column.length < static_cast<int>(longest) &&
                     (column.length < 0 || !declared[c] || !fits))
                column.length = static_cast<int>(longest);
        }
    }
    std::vector<Row> rows;
    rows.reserve(rawRows.size());
    for (const auto& raw : rawRows) {
        Row row;
        for (std::size_t c = 0; c < columns.size(); ++c)
            row.push_back(convertValue(columns[c], raw[c]).value_or(Value{}));
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace tvr::sim
