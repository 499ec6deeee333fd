#include "sim/statements/DatabaseSizeClause.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace tvr::sim {
namespace {

// Kilobytes of a size as written, or nothing when it is no positive amount.
std::optional<std::uint64_t> kilobytesOf(const SqlToken& token) {
    std::string text = token.kind == SqlToken::Kind::String ? token.value : token.text;
    if (token.kind != SqlToken::Kind::Number && token.kind != SqlToken::Kind::String)
        return std::nullopt;
    double unit = 1024;  // megabytes unless a unit says otherwise
    if (!text.empty() && token.kind == SqlToken::Kind::String) {
        switch (std::tolower(static_cast<unsigned char>(text.back()))) {
            case 'k':
                unit = 1;
                text.pop_back();
                break;
            case 'm':
                text.pop_back();
                break;
            case 'g':
                unit = 1024.0 * 1024;
                text.pop_back();
                break;
            default:
                break;
        }
    }
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double amount = std::strtod(text.c_str(), &end);
    // At most 4 TB, the largest database the server allows.
    if (end == nullptr || *end != '\0' || !(amount > 0) || amount * unit > 4.0 * 1024 * 1024 * 1024)
        return std::nullopt;
    return static_cast<std::uint64_t>(std::ceil(amount * unit));
}

}  // namespace

std::optional<DatabaseSizeClause> parseDatabaseSizeClause(const std::vector<SqlToken>& tokens,
                                                          std::size_t start,
                                                          std::size_t& offending) {
    DatabaseSizeClause clause;
    std::uint64_t dataKB = 0, logKB = 0;
    std::size_t i = start;
    auto fail = [&](std::size_t at) -> std::optional<DatabaseSizeClause> {
        offending = std::min(at, tokens.size() - 1);
        return std::nullopt;
    };
    // DEVICE [= size] [, DEVICE [= size]]...: the kilobytes given, added to `total`.
    auto devices = [&](std::uint64_t& total) -> bool {
        for (;;) {
            if (i >= tokens.size() || (tokens[i].kind != SqlToken::Kind::Word &&
                                       tokens[i].kind != SqlToken::Kind::String))
                return false;
            ++i;
            if (i < tokens.size() && tokens[i].isSymbol("=")) {
                if (i + 1 >= tokens.size()) return false;
                const auto kb = kilobytesOf(tokens[i + 1]);
                if (!kb) {
                    ++i;
                    return false;
                }
                total += *kb;
                i += 2;
            }
            if (i < tokens.size() && tokens[i].isSymbol(",")) {
                ++i;
                continue;
            }
            return true;
        }
    };
    if (i < tokens.size() && tokens[i].isWord("on")) {
        ++i;
        if (!devices(dataKB)) return fail(i);
    }
    if (i + 1 < tokens.size() && tokens[i].isWord("log") && tokens[i + 1].isWord("on")) {
        i += 2;
        clause.logOn = true;
        if (!devices(logKB)) return fail(i);
    }
    // with override and the like change nothing here.
    if (i < tokens.size() && !tokens[i].isWord("with") && !tokens[i].isWord("for")) return fail(i);
    for (; i + 1 < tokens.size(); ++i)
        if (tokens[i].isWord("for") && tokens[i + 1].isWord("load")) clause.forLoad = true;
    if (dataKB != 0) clause.size.dataKB = dataKB;
    if (clause.logOn) clause.size.logKB = logKB != 0 ? logKB : kDefaultDatabaseSizeMB * 1024;
    return clause;
}

}  // namespace tvr::sim
