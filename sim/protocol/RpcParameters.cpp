#include "sim/protocol/RpcParameters.h"

#include <cstdio>
#include <cstring>

#include "sim/statements/DateTime.h"
#include "sim/statements/WireLiterals.h"

namespace tvr::sim {
namespace {

constexpr std::uint8_t kParamFormat = 0xEC;
constexpr std::uint8_t kParamFormatWide = 0x20;
constexpr std::uint8_t kParams = 0xD7;
constexpr std::uint32_t kOutputStatus = 0x01;

enum Type : std::uint8_t {
    Image = 0x22,
    Text = 0x23,
    VarBinary = 0x25,
    IntN = 0x26,
    VarChar = 0x27,
    Binary = 0x2D,
    Char = 0x2F,
    Int1 = 0x30,
    Bit = 0x32,
    Int2 = 0x34,
    Int4 = 0x38,
    DateTime4 = 0x3A,
    Real = 0x3B,
    Money = 0x3C,
    DateTime = 0x3D,
    Float = 0x3E,
    Decimal = 0x6A,
    Numeric = 0x6C,
    FloatN = 0x6D,
    MoneyN = 0x6E,
    DateTimeN = 0x6F,
    Money4 = 0x7A,
    LongChar = 0xAF,
    Int8 = 0xBF,
    LongBinary = 0xE1,
};

struct Format {
    std::string name;
    bool output = false;
    std::uint8_t type = 0;
    std::uint32_t size = 0;  // the declared size of variable types; 0 for fixed ones
    int scale = 0;
};

// The fixed size of a type that has no length on the wire; 0 for one that has.
std::size_t fixedSize(std::uint8_t type) {
    switch (type) {
        case Int1:
        case Bit:
            return 1;
        case Int2:
            return 2;
        case Int4:
        case Real:
        case Money4:
        case DateTime4:
            return 4;
        case Int8:
        case Float:
        case Money:
        case DateTime:
            return 8;
        default:
            return 0;
    }
}

bool hasLongLength(std::uint8_t type) { return type == LongChar || type == LongBinary; }

bool known(std::uint8_t type) {
    switch (type) {
        case VarBinary:
        case IntN:
        case VarChar:
        case Binary:
        case Char:
        case Decimal:
        case Numeric:
        case FloatN:
        case MoneyN:
        case DateTimeN:
        case LongChar:
        case LongBinary:
            return true;
        default:
            return fixedSize(type) != 0;
    }
}

// Whether a value of `size` bytes can be one of the type: the nullable numbers come in their
// fixed types' sizes only, numerics in at most 17 bytes.
bool sizeFits(std::uint8_t type, std::size_t size) {
    if (size == 0) return true;  // NULL, for every nullable type
    switch (type) {
        case IntN:
            return size == 1 || size == 2 || size == 4 || size == 8;
        case FloatN:
        case MoneyN:
        case DateTimeN:
            return size == 4 || size == 8;
        case Numeric:
        case Decimal:
            return size <= 17;
        default:
            return true;
    }
}

// The value of `size` bytes of a parameter of `format` as a literal.
std::string literalOf(const Format& format, const std::uint8_t* bytes, std::size_t size) {
    char buffer[64];
    switch (format.type) {
        case Char:
        case VarChar:
        case LongChar:
            return quotedLiteral(std::string(reinterpret_cast<const char*>(bytes), size));
        case Binary:
        case VarBinary:
        case LongBinary:
            return hexLiteral(bytes, size);
        case Numeric:
        case Decimal:
            return exactLiteral(bytes[0] != 0, bytes + 1, size - 1, format.scale);
        case Money:
        case MoneyN:
        case Money4:
            return moneyLiteral(moneyUnits(bytes, size));
        case Float:
        case Real:
        case FloatN: {
            double value = 0;
            if (size == 4) {
                float single = 0;
                std::memcpy(&single, bytes, 4);
                value = single;
            } else {
                std::memcpy(&value, bytes, 8);
            }
            std::snprintf(buffer, sizeof buffer, "%.17g", value);
            return buffer;
        }
        case DateTime:
        case DateTime4:
        case DateTimeN: {
            DateTimeValue value;
            if (size == 4) {
                value.days = static_cast<std::int32_t>(signedLittleEndian(bytes, 2) & 0xFFFF);
                value.ticks =
                    static_cast<std::int32_t>(signedLittleEndian(bytes + 2, 2) & 0xFFFF) * 60 * 300;
            } else {
                value.days = static_cast<std::int32_t>(signedLittleEndian(bytes, 4));
                value.ticks = static_cast<std::int32_t>(signedLittleEndian(bytes + 4, 4));
            }
            return quotedLiteral(formatDateTime(value));
        }
        default:
            return std::to_string(signedLittleEndian(bytes, size));
    }
}

// The type a parameter of this format is declared with in the batch it comes with.
std::string declaredType(const Format& format) {
    switch (format.type) {
        case Char:
        case VarChar:
        case LongChar:
            return "varchar";
        case Binary:
        case VarBinary:
        case LongBinary:
            return "varbinary";
        case Numeric:
        case Decimal:
            return "numeric";
        case Money:
        case MoneyN:
        case Money4:
            return "money";
        case Float:
        case Real:
        case FloatN:
            return "float";
        case DateTime:
        case DateTime4:
        case DateTimeN:
            return "datetime";
        case Bit:
            return "bit";
        default:
            return "bigint";
    }
}

std::vector<Format> readFormats(WireReader& in, bool wide, std::string& unsupported) {
    if (wide)
        in.uint32();
    else
        in.uint16();
    const std::uint16_t count = in.uint16();
    std::vector<Format> formats;
    for (std::uint16_t i = 0; i < count; ++i) {
        Format format;
        format.name = in.text(in.byte());
        const std::uint32_t status = wide ? in.uint32() : in.byte();
        format.output = (status & kOutputStatus) != 0;
        in.uint32();  // user type
        format.type = in.byte();
        if (!known(format.type)) {
            char name[8];
            std::snprintf(name, sizeof name, "0x%02X", format.type);
            unsupported = name;
            return {};
        }
        if (fixedSize(format.type) == 0)
            format.size = hasLongLength(format.type) ? in.uint32() : in.byte();
        if (format.type == Numeric || format.type == Decimal) {
            in.byte();  // precision
            format.scale = in.byte();
        }
        in.skip(in.byte());  // locale
        formats.push_back(format);
    }
    return formats;
}

}  // namespace

std::vector<RpcParameter> readRpcParameters(WireReader& in, std::string& unsupported) {
    if (in.atEnd()) return {};
    const std::uint8_t token = in.byte();
    if (token != kParamFormat && token != kParamFormatWide)
        throw ProtocolError("a procedure call with parameters but no parameter format");
    const std::vector<Format> formats = readFormats(in, token == kParamFormatWide, unsupported);
    if (!unsupported.empty()) return {};
    if (in.byte() != kParams) throw ProtocolError("a parameter format without its parameters");
    std::vector<RpcParameter> parameters;
    for (const Format& format : formats) {
        RpcParameter parameter{format.name, format.output, std::nullopt, declaredType(format),
                               static_cast<int>(format.size)};
        std::size_t size = fixedSize(format.type);
        if (size == 0) size = hasLongLength(format.type) ? in.uint32() : in.byte();
        if (!sizeFits(format.type, size))
            throw ProtocolError("a parameter value of " + std::to_string(size) +
                                " bytes for its type");
        if (size > 0) parameter.literal = literalOf(format, in.take(size), size);
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

std::string rpcAsExecute(const std::string& procedure,
                         const std::vector<RpcParameter>& parameters) {
    std::string text = "exec " + procedure;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const RpcParameter& parameter = parameters[i];
        text += i == 0 ? " " : ", ";
        if (!parameter.name.empty()) text += parameter.name + " = ";
        text += parameter.literal.value_or("null");
        if (parameter.output) text += " output";
    }
    return text;
}

}  // namespace tvr::sim
