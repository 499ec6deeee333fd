#pragma once
// The local variables of a batch or a procedure: declared with a type, NULL until assigned,
// and holding what the type holds: character values cut to their declared length, as the
// server cuts a value longer than the variable that receives it, and numbers as numbers.
#include <map>
#include <optional>
#include <string>

#include "sim/statements/SqlLexer.h"

namespace tvr::sim {

// @name, not a global @@name.
inline bool isLocalVariable(const SqlToken& token) {
    return token.kind == SqlToken::Kind::Variable && token.text.rfind("@@", 0) != 0;
}

struct Variable {
    std::string type;                  // lower case, without its length: int, varchar, ...
    int length = -1;                   // char(n), varchar(n), binary(n), varbinary(n): n
    std::optional<std::string> value;  // nothing: NULL; numbers in their decimal text
    // numeric(p,s), decimal(p,s): s (money and smallmoney have 4); -1 for other types. Their
    // values are kept rounded to it, as the server keeps them.
    int scale = -1;
};

// True for the types whose values are numbers (int, smallint, tinyint, bit, float, ...).
bool isNumericTypeName(const std::string& type);

class VariableScope {
public:
    // False when the name is already declared here. Names are compared in lower case.
    // `length` is n of char(n) and p of numeric(p,s), `scale` its s (0 when left out).
    bool declare(const std::string& name, const std::string& type, int length, int scale = 0);
    Variable* find(const std::string& name);
    // Stores a value as the variable's type keeps it; false when a numeric variable gets a
    // text that is no number.
    bool assign(Variable& variable, std::optional<std::string> value);
    // The same for a value written as a literal (an argument, a parameter sent by a client): a
    // hex literal given to a binary variable is its bytes, not its digits.
    bool assignLiteral(Variable& variable, std::optional<std::string> value);

private:
    std::map<std::string, Variable> variables_;
};

// The SQL literal of the variable's value: NULL, a number, a hex literal of the bytes of a
// binary, varbinary or image variable, or a quoted string. `typed`: a value of an exact type
// as a conversion to that type, so that a query sends it as a column of the variable's type.
std::string variableLiteral(const Variable& variable, bool typed = false);

}  // namespace tvr::sim
