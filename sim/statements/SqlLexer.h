#pragma once
// Splits Transact-SQL text into tokens. Double quotes delimit strings, as on a server with
// quoted identifiers off; square brackets delimit identifiers; comments are dropped.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvr::sim {

struct SqlToken {
    enum class Kind { Word, String, BracketName, Number, Variable, Symbol };
    Kind kind = Kind::Word;
    std::string text;   // as written
    std::string value;  // a string's or bracketed name's content without quotes and escapes
    std::size_t offset = 0;
    int line = 1;  // 1-based line of the batch on which the token begins

    bool isWord(const char* lowerWord) const;  // case-insensitive keyword test
    bool isSymbol(const char* symbol) const { return kind == Kind::Symbol && text == symbol; }
    std::string lower() const;
};

// An unclosed quote or comment; `near` is the beginning of the offending text.
class SqlLexError : public std::runtime_error {
public:
    SqlLexError(const std::string& what, std::string nearText, int atLine)
        : std::runtime_error(what), near(std::move(nearText)), line(atLine) {}
    std::string near;
    int line;
};

std::vector<SqlToken> tokenizeSql(const std::string& text);

// The text with its ASCII letters in lower case, as names and keywords compare.
std::string asciiLower(std::string text);

}  // namespace tvr::sim
