#include "sim/statements/SqlLexer.h"

#include <cctype>
#include <cstring>

namespace tvr::sim {
namespace {

bool wordStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool wordPart(char c) {
    return wordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '@';
}

}  // namespace

bool SqlToken::isWord(const char* lowerWord) const {
    if (kind != Kind::Word || text.size() != std::strlen(lowerWord)) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != lowerWord[i]) return false;
    return true;
}

std::string SqlToken::lower() const { return asciiLower(text); }

std::string asciiLower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<SqlToken> tokenizeSql(const std::string& text) {
    std::vector<SqlToken> tokens;
    std::size_t i = 0;
    int line = 1;
    const std::size_t n = text.size();
    auto countLines = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            if (text[k] == '\n') ++line;
    };
    while (i < n) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            while (i < n && text[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            std::size_t end = text.find("*/", i + 2);
            if (end == std::string::npos)
                throw SqlLexError("unclosed comment", text.substr(i, 30), line);
            countLines(i, end);
            i = end + 2;
            continue;
        }
        SqlToken token;
        token.offset = i;
        token.line = line;
        if (c == '\'' || c == '"') {
            std::size_t k = i + 1;
            std::string value;
            for (;;) {
                if (k >= n) throw SqlLexError("unclosed quote", text.substr(i, 30), line);
                if (text[k] == c) {
                    if (k + 1 < n && text[k + 1] == c) {
                        value += c;
                        k += 2;
                        continue;
                    }
                    break;
                }
                value += text[k++];
            }
            token.kind = SqlToken::Kind::String;
            token.value = std::move(value);
            token.text = text.substr(i, k + 1 - i);
            countLines(i, k);
            i = k + 1;
        } else if (c == '[') {
            std::size_t end = text.find(']', i + 1);
            if (end == std::string::npos)
                throw SqlLexError("unclosed bracket", text.substr(i, 30), line);
            token.kind = SqlToken::Kind::BracketName;
            token.value = text.substr(i + 1, end - i - 1);
            token.text = text.substr(i, end + 1 - i);
            countLines(i, end);
            i = end + 1;
        } else if (c == '@') {
            std::size_t k = i + 1;
            if (k < n && text[k] == '@') ++k;
            while (k < n && wordPart(text[k])) ++k;
            token.kind = SqlToken::Kind::Variable;
            token.text = text.substr(i, k - i);
            i = k;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < n &&
                    std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            std::size_t k = i;
            while (k < n && (std::isalnum(static_cast<unsigned char>(text[k])) || text[k] == '.'))
                ++k;
            // An exponent sign: 1e-5.
            while (k < n && (text[k] == '+' || text[k] == '-') &&
                   (text[k - 1] == 'e' || text[k - 1] == 'E') && k + 1 < n &&
                   std::isdigit(static_cast<unsigned char>(text[k + 1]))) {
                ++k;
                while (k < n && std::isalnum(static_cast<unsigned char>(text[k]))) ++k;
            }
            token.kind = SqlToken::Kind::Number;
            token.text = text.substr(i, k - i);
            i = k;
        } else if (wordStart(c)) {
            std::size_t k = i;
            while (k < n && wordPart(text[k])) ++k;
            token.kind = SqlToken::Kind::Word;
            token.text = text.substr(i, k - i);
            i = k;
        } else {
            static const char* twoCharacter[] = {"<=", ">=", "<>", "!=", "!<", "!>", "||", "=="};
            token.kind = SqlToken::Kind::Symbol;
            token.text = std::string(1, c);
            for (const char* pair : twoCharacter)
                if (i + 1 < n && text[i] == pair[0] && text[i + 1] == pair[1]) token.text = pair;
            i += token.text.size();
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

}  // namespace tvr::sim
