#pragma once
// Splits Transact-SQL text into tokens. Double quotes delimit strings, as on a server with
// quoted identifiers off; square brackets delimit identifiers; comments are dropped.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
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

// In `cast(expression as type)`, its parenthesis at `open`: where the `as` that begins the type
// is (the last one at the cast's own depth); nothing when the parenthesis does not close.
template <typename Tokens>
std::optional<std::size_t> castTypeStart(const Tokens& tokens, std::size_t open) {
    auto at = [&](std::size_t i) -> const SqlToken& {
        if constexpr (std::is_pointer_v<typename Tokens::value_type>)
            return *tokens[i];
        else
            return tokens[i];
    };
    int depth = 0;
    std::optional<std::size_t> as;
    for (std::size_t i = open; i < tokens.size(); ++i) {
        if (at(i).isSymbol("("))
            ++depth;
        else if (at(i).isSymbol(")") && --depth == 0)
            return as;
        else if (depth == 1 && at(i).isWord("as"))
            as = i;
    }
    return std::nullopt;
}

}  // namespace tvr::sim
