#include "sim/statements/Variables.h"

#include <cmath>
#include <cstdlib>

#include "sim/statements/ExactStorage.h"
#include "sim/statements/SqlLexer.h"
#include "sim/statements/SqlTranslator.h"

namespace tvr::sim {
namespace {

bool isIntegerTypeName(const std::string& type) {
    return type == "int" || type == "integer" || type == "smallint" || type == "tinyint" ||
           type == "bigint" || type == "bit";
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

bool VariableScope::declare(const std::string& name, const std::string& type, int length) {
    return variables_.emplace(asciiLower(name), Variable{asciiLower(type), length, std::nullopt})
        .second;
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
        } else {
            value = digits;
        }
    } else if (value && variable.length > 0 && variable.type.find("char") != std::string::npos &&
               value->size() > static_cast<std::size_t>(variable.length)) {
        value->resize(static_cast<std::size_t>(variable.length));
    }
    variable.value = std::move(value);
    return true;
}

std::string variableLiteral(const Variable& variable) {
    if (!variable.value) return "NULL";
    // Exact values keep their digits on the way to SQLite; the others are its numbers.
    if (isExactTypeName(variable.type)) return sqliteNumberLiteral(*variable.value);
    if (isNumericTypeName(variable.type)) return *variable.value;
    // Bytes (a text pointer, for instance) as a hex literal, which stays bytes.
    if (variable.type == "binary" || variable.type == "varbinary" || variable.type == "image") {
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
