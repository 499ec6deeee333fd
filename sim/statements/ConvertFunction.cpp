#include "sim/statements/ConvertFunction.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "sim/statements/ColumnTyping.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"

namespace tvr::sim {
namespace {

// Raised by the function as "aseemu 249:VALUE:TYPE" or "aseemu 243:TYPE"; read back into the
// server's message by convertErrorMessage.
constexpr const char* kErrorPrefix = "aseemu ";

struct TargetType {
    std::string base;  // lower case, without the length
    int length = -1;
};

TargetType targetOf(const std::string& type) {
    TargetType target;
    std::string lower = asciiLower(type);
    const std::size_t paren = lower.find('(');
    if (paren != std::string::npos) target.length = std::atoi(lower.c_str() + paren + 1);
    target.base = lower.substr(0, paren);
    while (!target.base.empty() && target.base.back() == ' ') target.base.pop_back();
    return target;
}

bool isTextType(const std::string& base) {
    return base == "char" || base == "varchar" || base == "nchar" || base == "nvarchar" ||
           base == "unichar" || base == "univarchar" || base == "text" || base == "unitext" ||
           base == "sysname";
}

void fail(sqlite3_context* call, const std::string& text) {
    const std::string error = kErrorPrefix + text;
    sqlite3_result_error(call, error.c_str(), static_cast<int>(error.size()));
}

std::string textOf(sqlite3_value* value) {
    const unsigned char* raw = sqlite3_value_text(value);
    return raw ? std::string(reinterpret_cast<const char*>(raw),
                             static_cast<std::size_t>(sqlite3_value_bytes(value)))
               : std::string();
}

std::string upperName(const std::string& base) {
    std::string upper = base;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return upper;
}

// A number from a value; nothing when a text is not one.
std::optional<double> numberOf(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_value_int64(value));
        case SQLITE_FLOAT:
            return sqlite3_value_double(value);
        default: {
            std::string text = textOf(value);
            while (!text.empty() && text.back() == ' ') text.pop_back();
            std::size_t start = text.find_first_not_of(' ');
            if (start == std::string::npos) return std::nullopt;
            char* end = nullptr;
            errno = 0;
            const double number = std::strtod(text.c_str() + start, &end);
            if (end == nullptr || *end != '\0' || errno != 0) return std::nullopt;
            return number;
        }
    }
}

// Bytes: a text's or bytes' own, an integer's four bytes most significant first (as the server
// converts an int); cut to the length (30 without one) and a binary(n) filled with zeros.
void convertToBytes(sqlite3_context* call, const Column& column, sqlite3_value* value) {
    std::string bytes;
    if (sqlite3_value_type(value) == SQLITE_INTEGER) {
        const auto number = static_cast<std::uint32_t>(sqlite3_value_int64(value));
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += static_cast<char>((number >> shift) & 0xFF);
    } else if (sqlite3_value_type(value) == SQLITE_BLOB) {
        const void* raw = sqlite3_value_blob(value);
        if (raw != nullptr)
            bytes.assign(static_cast<const char*>(raw),
                         static_cast<std::size_t>(sqlite3_value_bytes(value)));
    } else {
        bytes = textOf(value);
    }
    if (column.kind != ColumnKind::Image) {
        const std::size_t length = column.length > 0 ? static_cast<std::size_t>(column.length) : 30;
        if (bytes.size() > length) bytes.resize(length);
        if (column.kind == ColumnKind::Binary) bytes.resize(length, '\0');
    }
    sqlite3_result_blob(call, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void convertFunction(sqlite3_context* call, int count, sqlite3_value** arguments) {
    const TargetType target = targetOf(textOf(arguments[0]));
    sqlite3_value* value = arguments[1];
    const bool known = isTextType(target.base) || columnForConvertType(target.base).has_value();
    if (!known) return fail(call, "243:" + target.base);
    if (sqlite3_value_type(value) == SQLITE_NULL) return sqlite3_result_null(call);

    if (isTextType(target.base)) {
        std::string text = textOf(value);
        if (sqlite3_value_type(value) == SQLITE_FLOAT)
            text = valueText(Value{sqlite3_value_double(value)});
        // A datetime written in the style asked for.
        if (count == 3 && sqlite3_value_type(arguments[2]) == SQLITE_INTEGER)
            if (const std::optional<DateTimeValue> datetime = parseDateTime(text))
                if (auto styled = formatDateTimeStyle(*datetime, sqlite3_value_int(arguments[2])))
                    text = *styled;
        const bool fixed =
            target.base == "char" || target.base == "nchar" || target.base == "unichar";
        const bool unlimited = target.base == "text" || target.base == "unitext";
        // Without a length the server takes 30 characters for char and varchar.
        const std::size_t length = target.length > 0 ? static_cast<std::size_t>(target.length) : 30;
        if (!unlimited && text.size() > length) text.resize(length);
        if (fixed && text.size() < length) text.append(length - text.size(), ' ');
        sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return;
    }
    const Column column = *columnForConvertType(textOf(arguments[0]));
    const std::string typeName = upperName(target.base);
    if (column.kind == ColumnKind::DateTime) {
        const std::optional<DateTimeValue> parsed = parseDateTime(textOf(value));
        if (!parsed) return fail(call, "249:" + textOf(value) + ":" + typeName);
        const std::string text = formatDateTime(*parsed);
        sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return;
    }
    if (isBinary(column.kind)) return convertToBytes(call, column, value);
    if (isExact(column.kind)) {
        std::optional<ExactNumber> exact;
        if (sqlite3_value_type(value) == SQLITE_FLOAT)
            exact = exactFromDouble(sqlite3_value_double(value));
        else
            exact = parseExactNumber(textOf(value));
        if (!exact) return fail(call, "249:" + textOf(value) + ":" + typeName);
        // SQLite computes with it as a number; its column sends it exactly at its scale. A
        // number with more digits than a float carries stays the text of its digits.
        const ExactNumber scaled = withScale(*exact, column.scale);
        if (scaled.scale == 0)
            if (const std::optional<std::int64_t> whole = unscaledValue(scaled))
                return sqlite3_result_int64(call, *whole);
        if (significantDigits(scaled) > 15) {
            const std::string text = exactText(scaled);
            return sqlite3_result_text(call, text.data(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT);
        }
        return sqlite3_result_double(call, exactToDouble(scaled));
    }
    const std::optional<double> number = numberOf(value);
    if (column.kind == ColumnKind::Float || column.kind == ColumnKind::Real) {
        if (!number) return fail(call, "249:" + textOf(value) + ":" + typeName);
        return sqlite3_result_double(call, *number);
    }
    // Integers: a text must be an integer; a number is truncated toward zero.
    if (!number || (sqlite3_value_type(value) == SQLITE_TEXT && std::trunc(*number) != *number))
        return fail(call, "249:" + textOf(value) + ":" + typeName);
    if (target.base == "bit") return sqlite3_result_int(call, *number != 0 ? 1 : 0);
    sqlite3_result_int64(call, static_cast<std::int64_t>(std::trunc(*number)));
}

}  // namespace

void registerConvertFunction(sqlite3* db) {
    for (int arguments : {2, 3})
        sqlite3_create_function_v2(db, kConvertFunction, arguments,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, convertFunction,
                                   nullptr, nullptr, nullptr);
}

std::optional<Column> columnForConvertType(const std::string& type) {
    const TargetType target = targetOf(type);
    std::optional<Column> column = columnForDeclaredType(type.c_str());
    if (!column) return std::nullopt;
    if (isTextType(target.base) || isBinary(column->kind)) {
        int length = target.length > 0 ? target.length : 30;
        if (target.base == "text" || target.base == "unitext" || target.base == "image")
            length = -1;
        if (target.base == "unichar" || target.base == "univarchar") length *= 2;
        column->length = length;
    }
    return column;
}

std::optional<ServerMessage> convertErrorMessage(const std::string& sqliteText) {
    const std::string prefix = kErrorPrefix;
    if (sqliteText.rfind(prefix, 0) != 0) return std::nullopt;
    const std::string rest = sqliteText.substr(prefix.size());
    if (rest.rfind("243:", 0) == 0)
        return messages::systemMessage(
            243, 16, 1, "Type '" + rest.substr(4) + "' is not a defined system type.");
    if (rest.rfind("249:", 0) == 0) {
        const std::string detail = rest.substr(4);
        const std::size_t colon = detail.rfind(':');
        return messages::conversionFailed(detail.substr(0, colon), detail.substr(colon + 1));
    }
    return std::nullopt;
}

}  // namespace tvr::sim
