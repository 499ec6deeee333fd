#include "sim/statements/Variables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim/statements/ExactNumber.h"
#include "sim/statements/ExactStorage.h"
#include "sim/statements/SqlLexer.h"
#include "sim/statements/SqlTranslator.h"

namespace tvr::sim {
namespace {

bool isIntegerTypeName(const std::string& type) {
    return type == "int" || type == "integer" || type == "smallint" || type == "tinyint" ||
           type == "bigint" || type == "bit";
}

bool isBinaryTypeName(const std::string& type) {
    return type == "binary" || type == "varbinary" || type == "image";
}

// The bytes of a hex literal ("0x0aff", an odd count of digits with a leading zero); nothing for
// any other text.
std::optional<std::string> hexBytes(const std::string& literal) {
    if (literal.size() < 2 || literal[0] != '0' || (literal[1] != 'x' && literal[1] != 'X'))
        return std::nullopt;
    std::string digits = literal.substr(2);
    if (digits.size() % 2 != 0) digits.insert(0, "0");
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const std::string pair = digits.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    }
    return bytes;
}

}  // namespace

bool isNumericTypeName(const std::string& type) {
    static const char* const others[] = {"float",   "real",  "double",    "numeric",
                                         "decimal", "money", "smallmoney"};
    if (isIntegerTypeName(type)) return true;
    for (const char* name : others)
        if (type == name) return true;
    return false;
}

bool VariableScope::declare(const std::string& name, const std::string& type, int length,
                            int scale) {
    Variable variable{asciiLower(type), length, std::nullopt};
    if (variable.type == "money" || variable.type == "smallmoney")
        variable.scale = 4;
    else if (variable.type == "numeric" || variable.type == "decimal" || variable.type == "dec")
        variable.scale = std::max(scale, 0);
    return variables_.emplace(asciiLower(name), variable).second;
}

Variable* VariableScope::find(const std::string& name) {
    auto found = variables_.find(asciiLower(name));
    return found == variables_.end() ? nullptr : &found->second;
}

bool VariableScope::assign(Variable& variable, std::optional<std::string> value) {
    if (value && isNumericTypeName(variable.type)) {
        const char* start = value->c_str();
        while (*start == ' ') ++start;
        char* end = nullptr;
        const double number = std::strtod(start, &end);
        const std::string digits(start, static_cast<std::size_t>(end - start));
        while (end != nullptr && *end == ' ') ++end;
        if (*start == '\0' || end == nullptr || *end != '\0') return false;
        if (isIntegerTypeName(variable.type)) {
            const long long whole = static_cast<long long>(std::trunc(number));
            value = std::to_string(variable.type == "bit" ? (whole != 0 ? 1 : 0) : whole);
        } else if (variable.scale >= 0) {
            // An exact variable holds its digits at its scale, never a float's.
            const std::optional<ExactNumber> exact = parseExactNumber(digits);
            value = exact ? exactText(withScale(*exact, variable.scale)) : digits;
        } else {
            value = digits;
        }
    } else if (value && variable.length > 0 &&
               (variable.type.find("char") != std::string::npos ||
                isBinaryTypeName(variable.type)) &&
               value->size() > static_cast<std::size_t>(variable.length)) {
        value->resize(static_cast<std::size_t>(variable.length));
    }
    variable.value = std::move(value);
    return true;
}

bool VariableScope::assignLiteral(Variable& variable, std::optional<std::string> value) {
    if (value && isBinaryTypeName(variable.type))
        if (std::optional<std::string> bytes = hexBytes(*value)) value = std::move(bytes);
    return assign(variable, std::move(value));
}

std::string variableLiteral(const Variable& variable, bool typed) {
    if (!variable.value) return "NULL";
    // Exact values keep their digits on the way to SQLite; the others are its numbers.
    if (isExactTypeName(variable.type)) {
        const std::string number = sqliteNumberLiteral(*variable.value);
        if (!typed) return number;
        const std::string type =
            variable.scale >= 0 && variable.type != "money" && variable.type != "smallmoney"
                ? variable.type + "(" + std::to_string(variable.length > 0 ? variable.length : 18) +
                      "," + std::to_string(variable.scale) + ")"
                : variable.type;
        return "convert(" + type + ", " + number + ")";
    }
    if (isNumericTypeName(variable.type)) return *variable.value;
    // Bytes (a text pointer, for instance) as a hex literal, which stays bytes.
    if (isBinaryTypeName(variable.type)) {
        static const char digits[] = "0123456789abcdef";
        std::string hex = "0x";
        for (unsigned char c : *variable.value) {
            hex += digits[c >> 4];
            hex += digits[c & 15];
        }
        return hex;
    }
    return quoteSqlString(*variable.value);
}

}  // namespace tvr::sim
