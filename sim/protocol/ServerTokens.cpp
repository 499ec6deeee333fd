#include "sim/protocol/ServerTokens.h"

#include "sim/statements/TextPointers.h"

#include "sim/statements/DateTime.h"
#include "sim/statements/ExactNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tvr::sim {
namespace {

enum DataType : std::uint8_t {
    TypeImage = 0x22,
    TypeText = 0x23,
    TypeVarBinary = 0x25,
    TypeBinary = 0x2D,
    TypeIntN = 0x26,
    TypeInt1 = 0x30,
    TypeInt2 = 0x34,
    TypeInt4 = 0x38,
    TypeDateTime4 = 0x3A,
    TypeReal = 0x3B,
    TypeMoney = 0x3C,
    TypeDateTime = 0x3D,
    TypeFloat8 = 0x3E,
    TypeMoney4 = 0x7A,
    TypeInt8 = 0xBF,
    TypeVarChar = 0x27,
    TypeChar = 0x2F,
    TypeDecimal = 0x6A,
    TypeNumeric = 0x6C,
    TypeFloatN = 0x6D,
    TypeMoneyN = 0x6E,
    TypeDateTimeN = 0x6F,
    TypeLongChar = 0xAF,
    TypeLongBinary = 0xE1,
};

constexpr std::uint8_t ColumnNullable = 0x20;

bool isText(ColumnKind kind) { return kind == ColumnKind::Char || kind == ColumnKind::VarChar; }
bool isBytes(ColumnKind kind) {
    return kind == ColumnKind::Binary || kind == ColumnKind::VarBinary;
}
// Values longer than 255 bytes travel in the long types, with 4-byte lengths.
bool isLong(const Column& column) {
    return (isText(column.kind) || isBytes(column.kind)) && column.length > 255;
}
bool hasTextPointer(ColumnKind kind) {
    return kind == ColumnKind::Text || kind == ColumnKind::Image;
}

int integerSize(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::TinyInt:
            return 1;
        case ColumnKind::SmallInt:
            return 2;
        case ColumnKind::BigInt:
            return 8;
        default:
            return 4;
    }
}

std::int32_t userType(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::Char:
            return 1;
        case ColumnKind::VarChar:
            return 2;
        case ColumnKind::TinyInt:
            return 5;
        case ColumnKind::SmallInt:
            return 6;
        case ColumnKind::Int:
            return 7;
        case ColumnKind::Float:
            return 8;
        case ColumnKind::Real:
            return 23;
        case ColumnKind::DateTime:
            return 12;
        case ColumnKind::Text:
            return 19;
        case ColumnKind::BigInt:
            return 43;
        case ColumnKind::Numeric:
            return 10;
        case ColumnKind::Decimal:
            return 26;
        case ColumnKind::Money:
            return 11;
        case ColumnKind::SmallMoney:
            return 21;
        case ColumnKind::Binary:
            return 3;
        case ColumnKind::VarBinary:
            return 4;
        case ColumnKind::Image:
            return 20;
    }
    return 0;
}

std::uint8_t moneyBytes(ColumnKind kind) { return kind == ColumnKind::SmallMoney ? 4 : 8; }

// An exact value in its column's type; NULL when it does not fit (convertValue checked it).
void writeMoney(WireWriter& out, const Column& column, const ExactNumber& number) {
    const std::int64_t units = unscaledValue(withScale(number, 4)).value_or(0);
    if (column.kind == ColumnKind::SmallMoney) {
        out.int32(static_cast<std::int32_t>(units));
    } else {
        // Two 4-byte halves, the high one first, each in the client's byte order.
        out.int32(static_cast<std::int32_t>(units >> 32));
        out.uint32(static_cast<std::uint32_t>(units & 0xFFFFFFFF));
    }
}

void writeExact(WireWriter& out, const Column& column, const ExactNumber& number) {
    if (column.kind == ColumnKind::Money || column.kind == ColumnKind::SmallMoney) {
        out.byte(moneyBytes(column.kind));
        writeMoney(out, column, number);
        return;
    }
    const std::uint8_t size = numericBytes(column.precision);
    const ExactNumber scaled = withScale(number, column.scale);
    const auto magnitude = magnitudeBytes(scaled, size - 1u);
    if (!magnitude) {
        out.byte(0);
        return;
    }
    out.byte(size);
    out.byte(scaled.negative ? 1 : 0);
    out.raw(magnitude->data(), magnitude->size());
}

// The exact number of a value of another kind, for a value a computation left as a float.
ExactNumber exactOf(const Value& value) {
    if (const auto* exact = std::get_if<ExactNumber>(&value)) return *exact;
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return parseExactNumber(std::to_string(*integer)).value_or(ExactNumber{});
    if (const auto* real = std::get_if<double>(&value)) return exactFromDouble(*real);
    if (const auto* text = std::get_if<std::string>(&value))
        return parseExactNumber(*text).value_or(ExactNumber{});
    return {};
}

void writeNull(WireWriter& out, const Column& column) {
    if (isLong(column))
        out.uint32(0);
    else
        out.byte(0);  // for text, a pointer of no length
}

// A column that can hold no NULL goes in the fixed-length form of its type, as the server sends
// a constant or a column declared not null (INT4 rather than INTN); 0 for the others.
std::uint8_t fixedType(const Column& column) {
    if (column.nullable) return 0;
    switch (column.kind) {
        case ColumnKind::TinyInt:
            return TypeInt1;
        case ColumnKind::SmallInt:
            return TypeInt2;
        case ColumnKind::Int:
            return TypeInt4;
        case ColumnKind::BigInt:
            return TypeInt8;
        case ColumnKind::Real:
            return TypeReal;
        case ColumnKind::Float:
            return TypeFloat8;
        case ColumnKind::DateTime:
            return TypeDateTime;
        case ColumnKind::Money:
            return TypeMoney;
        case ColumnKind::SmallMoney:
            return TypeMoney4;
        default:
            return 0;
    }
}

double doubleOf(const Value& value) {
    if (const auto* real = std::get_if<double>(&value)) return *real;
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return static_cast<double>(*integer);
    return 0;
}

// A value of a column in its fixed form: no length before it.
void writeFixed(WireWriter& out, const Column& column, const Value& value) {
    switch (column.kind) {
        case ColumnKind::Real:
            return out.float32(static_cast<float>(doubleOf(value)));
        case ColumnKind::Float:
            return out.float64(doubleOf(value));
        case ColumnKind::DateTime: {
            const auto* datetime = std::get_if<DateTimeValue>(&value);
            out.int32(datetime != nullptr ? datetime->days : 0);
            return out.int32(datetime != nullptr ? datetime->ticks : 0);
        }
        case ColumnKind::Money:
        case ColumnKind::SmallMoney:
            return writeMoney(out, column, exactOf(value));
        default:
            break;
    }
    std::int64_t number = 0;
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        number = *integer;
    else if (const auto* real = std::get_if<double>(&value))
        number = static_cast<std::int64_t>(std::llround(*real));
    const int size = integerSize(column.kind);
    if (size == 1)
        out.byte(static_cast<std::uint8_t>(number));
    else if (size == 2)
        out.int16(static_cast<std::int16_t>(number));
    else if (size == 4)
        out.int32(static_cast<std::int32_t>(number));
    else
        out.int64(number);
}

}  // namespace

void writeLoginAck(WireWriter& out, LoginStatus status) {
    out.byte(TokenLoginAck);
    std::size_t length = out.beginLength16();
    out.byte(status);
    out.raw(std::string_view("\x05\x00\x00\x00", 4));  // TDS 5.0
    out.text8("sql server");
    out.raw(std::string_view("\x0f\x07\x00\x00", 4));  // server version 15.7
    out.endLength16(length);
}

void writeCapabilities(WireWriter& out, const std::vector<std::uint8_t>& capabilities) {
    out.byte(TokenCapability);
    out.uint16(static_cast<std::uint16_t>(capabilities.size()));
    out.raw(capabilities.data(), capabilities.size());
}

void writeEnvChange(WireWriter& out, EnvChangeType type, const std::string& newValue,
                    const std::string& oldValue) {
    out.byte(TokenEnvChange);
    std::size_t length = out.beginLength16();
    out.byte(type);
    out.text8(newValue);
    out.text8(oldValue);
    out.endLength16(length);
}

void writeMessage(WireWriter& out, const ServerMessage& message, const std::string& serverName) {
    out.byte(TokenExtendedError);
    std::size_t length = out.beginLength16();
    out.int32(message.number);
    out.byte(message.state);
    out.byte(message.severity);
    out.text8("ZZZZZ");  // SQL state: none in particular
    out.byte(0);         // no extended data follows
    out.uint16(0);       // transaction state
    // The client keeps at most 1024 characters of a message.
    out.text16(std::string_view(message.text).substr(0, 1024));
    out.text8(serverName);
    out.text8(message.procedure);
    out.uint16(static_cast<std::uint16_t>(message.line));
    out.endLength16(length);
}

void writeRowFormat(WireWriter& out, const std::vector<Column>& columns, ServerToken token) {
    out.byte(token);
    std::size_t length = out.beginLength16();
    out.uint16(static_cast<std::uint16_t>(columns.size()));
    for (const Column& column : columns) {
        out.text8(column.name);
        out.byte(column.nullable ? ColumnNullable : 0);
        out.int32(userType(column.kind));
        if (const std::uint8_t fixed = fixedType(column)) {
            out.byte(fixed);
            out.byte(0);  // no locale
            continue;
        }
        switch (column.kind) {
            case ColumnKind::Char:
            case ColumnKind::VarChar:
                if (isLong(column)) {
                    out.byte(TypeLongChar);
                    out.uint32(static_cast<std::uint32_t>(column.length));
                } else {
                    out.byte(column.kind == ColumnKind::Char ? TypeChar : TypeVarChar);
                    out.byte(static_cast<std::uint8_t>(column.length < 1 ? 1 : column.length));
                }
                break;
            case ColumnKind::Int:
            case ColumnKind::SmallInt:
            case ColumnKind::TinyInt:
            case ColumnKind::BigInt:
                out.byte(TypeIntN);
                out.byte(static_cast<std::uint8_t>(integerSize(column.kind)));
                break;
            case ColumnKind::Float:
            case ColumnKind::Real:
                out.byte(TypeFloatN);
                out.byte(column.kind == ColumnKind::Real ? 4 : 8);
                break;
            case ColumnKind::DateTime:
                out.byte(TypeDateTimeN);
                out.byte(8);
                break;
            case ColumnKind::Text:
            case ColumnKind::Image:
                out.byte(column.kind == ColumnKind::Text ? TypeText : TypeImage);
                out.uint32(static_cast<std::uint32_t>(TextMaxLength));
                out.uint16(static_cast<std::uint16_t>(column.table.size()));
                out.raw(column.table);
                break;
            case ColumnKind::Binary:
            case ColumnKind::VarBinary:
                if (isLong(column)) {
                    out.byte(TypeLongBinary);
                    out.uint32(static_cast<std::uint32_t>(column.length));
                } else {
                    out.byte(column.kind == ColumnKind::Binary ? TypeBinary : TypeVarBinary);
                    out.byte(static_cast<std::uint8_t>(column.length < 1 ? 1 : column.length));
                }
                break;
            case ColumnKind::Numeric:
            case ColumnKind::Decimal:
                out.byte(column.kind == ColumnKind::Numeric ? TypeNumeric : TypeDecimal);
                out.byte(numericBytes(column.precision));
                out.byte(static_cast<std::uint8_t>(column.precision));
                out.byte(static_cast<std::uint8_t>(column.scale));
                break;
            case ColumnKind::Money:
            case ColumnKind::SmallMoney:
                out.byte(TypeMoneyN);
                out.byte(moneyBytes(column.kind));
                break;
        }
        out.byte(0);  // no locale
    }
    out.endLength16(length);
}

void writeBrowseInformation(WireWriter& out, const BrowseInformation& information) {
    constexpr std::uint8_t kTableNames = 0xA4, kColumnInfo = 0xA5;
    constexpr std::uint8_t kExpression = 0x04, kKey = 0x08, kOwnName = 0x20;
    out.byte(kTableNames);
    std::size_t length = out.beginLength16();
    for (const std::string& table : information.tables) out.text8(table);
    out.endLength16(length);
    out.byte(kColumnInfo);
    length = out.beginLength16();
    for (std::size_t c = 0; c < information.columns.size(); ++c) {
        const BrowseInformation::Source& source = information.columns[c];
        out.byte(static_cast<std::uint8_t>(c + 1));
        out.byte(static_cast<std::uint8_t>(source.table));
        std::uint8_t flags = source.table == 0 ? kExpression : 0;
        if (source.key) flags |= kKey;
        if (!source.name.empty()) flags |= kOwnName;
        out.byte(flags);
        if (!source.name.empty()) out.text8(source.name);
    }
    out.endLength16(length);
}

std::size_t rowFormatSize(const std::vector<Column>& columns) {
    std::size_t size = 2;
    for (const Column& column : columns)
        size += 1 + std::min<std::size_t>(column.name.size(), 255) + 1 + 4 + 1 +
                (isLong(column)                ? 4
                 : hasTextPointer(column.kind) ? 4 + 2 + column.table.size()
                 : column.kind == ColumnKind::Numeric || column.kind == ColumnKind::Decimal ? 3
                                                                                            : 1) +
                1;
    return size;
}

void writeParameters(WireWriter& out, const std::vector<Column>& parameters, const Row& values) {
    writeRowFormat(out, parameters, TokenParameterFormat);
    writeRow(out, parameters, values, TokenParameters);
}

void writeRow(WireWriter& out, const std::vector<Column>& columns, const Row& row,
              ServerToken token) {
    out.byte(token);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Column& column = columns[i];
        const Value& value = i < row.size() ? row[i] : Value{};
        if (fixedType(column) != 0) {
            writeFixed(out, column, value);
            continue;
        }
        if (std::holds_alternative<std::monostate>(value)) {
            writeNull(out, column);
            continue;
        }
        switch (column.kind) {
            case ColumnKind::Char:
            case ColumnKind::VarChar: {
                std::string text = valueText(value);
                // A char(n) value travels padded to its column's length.
                if (column.kind == ColumnKind::Char && column.length > 0 &&
                    text.size() < static_cast<std::size_t>(column.length))
                    text.resize(static_cast<std::size_t>(column.length), ' ');
                // A zero length means NULL here, so an empty text travels as one blank, as on the
                // real server.
                if (text.empty()) text = " ";
                if (isLong(column)) {
                    out.uint32(static_cast<std::uint32_t>(text.size()));
                    out.raw(text);
                } else {
                    out.text8(text);
                }
                break;
            }
            case ColumnKind::Int:
            case ColumnKind::SmallInt:
            case ColumnKind::TinyInt:
            case ColumnKind::BigInt:
                out.byte(static_cast<std::uint8_t>(integerSize(column.kind)));
                writeFixed(out, column, value);
                break;
            case ColumnKind::Float:
            case ColumnKind::Real:
                out.byte(column.kind == ColumnKind::Real ? 4 : 8);
                writeFixed(out, column, value);
                break;
            case ColumnKind::Binary:
            case ColumnKind::VarBinary: {
                std::string bytes = valueText(value);
                if (column.kind == ColumnKind::Binary && column.length > 0 &&
                    bytes.size() < static_cast<std::size_t>(column.length))
                    bytes.resize(static_cast<std::size_t>(column.length), '\0');
                // A zero length means NULL: an empty value travels as one zero byte.
                if (bytes.empty()) bytes.assign(1, '\0');
                if (isLong(column)) {
                    out.uint32(static_cast<std::uint32_t>(bytes.size()));
                    out.raw(bytes);
                } else {
                    out.text8(bytes);
                }
                break;
            }
            case ColumnKind::Text:
            case ColumnKind::Image: {
                std::string text = valueText(value);
                const auto pointer = textPointer(text);
                const auto stamp = textTimestamp(text);
                if (text.empty()) text.assign(1, column.kind == ColumnKind::Text ? ' ' : '\0');
                out.byte(static_cast<std::uint8_t>(pointer.size()));
                out.raw(std::string(pointer.begin(), pointer.end()));
                out.raw(std::string(stamp.begin(), stamp.end()));
                out.uint32(static_cast<std::uint32_t>(text.size()));
                out.raw(text);
                break;
            }
            case ColumnKind::Numeric:
            case ColumnKind::Decimal:
            case ColumnKind::Money:
            case ColumnKind::SmallMoney:
                writeExact(out, column, exactOf(value));
                break;
            case ColumnKind::DateTime: {
                const auto* datetime = std::get_if<DateTimeValue>(&value);
                if (datetime == nullptr) {
                    writeNull(out, column);
                    break;
                }
                out.byte(8);
                out.int32(datetime->days);
                out.int32(datetime->ticks);
                break;
            }
        }
    }
}

void writeDynamicAck(WireWriter& out, const std::string& id) {
    out.byte(0xE7);
    std::size_t length = out.beginLength16();
    out.byte(0x20);  // acknowledged
    out.byte(0);     // status
    out.text8(id);
    out.endLength16(length);
}

void writeReturnStatus(WireWriter& out, std::int32_t status) {
    out.byte(TokenReturnStatus);
    out.int32(status);
}

void writeDone(WireWriter& out, ServerToken token, std::uint16_t status, std::int32_t count) {
    out.byte(token);
    out.uint16(status);
    out.uint16((status & DoneInTransaction) ? 2 : 0);
    out.int32(count);
}

std::string valueText(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* real = std::get_if<double>(&value)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", *real);
        return buffer;
    }
    if (const auto* datetime = std::get_if<DateTimeValue>(&value)) return formatDateTime(*datetime);
    if (const auto* exact = std::get_if<ExactNumber>(&value)) return exactText(*exact);
    return {};
}

}  // namespace tvr::sim
