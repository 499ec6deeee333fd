#include "sim/statements/SqlTranslator.h"

#include <sqlite3.h>

#include <cctype>

#include "sim/statements/ConvertFunction.h"
#include "sim/statements/DivisionCheck.h"
#include "sim/statements/SystemCatalogs.h"

namespace tvr::sim {

namespace {

// The text between two `quote` characters, each inner one doubled.
std::string quoteWith(const std::string& text, char quote) {
    std::string quoted(1, quote);
    for (char c : text) {
        quoted += c;
        if (c == quote) quoted += quote;
    }
    return quoted + quote;
}

std::string quoteName(const std::string& name) { return quoteSqlName(name); }

bool isName(const SqlToken& token) {
    return token.kind == SqlToken::Kind::Word || token.kind == SqlToken::Kind::BracketName;
}

std::string nameOf(const SqlToken& token) {
    return token.kind == SqlToken::Kind::BracketName ? token.value : token.text;
}

// Whether the table named by tokens [.., end] is given an alias after it.
bool aliasFollows(const std::vector<SqlToken>& tokens, std::size_t end) {
    if (end + 1 >= tokens.size()) return false;
    const SqlToken& next = tokens[end + 1];
    if (next.isWord("as")) return true;
    if (next.kind == SqlToken::Kind::BracketName) return true;
    return next.kind == SqlToken::Kind::Word &&
           sqlite3_keyword_check(next.text.data(), static_cast<int>(next.text.size())) == 0 &&
           !next.isWord("holdlock") && !next.isWord("noholdlock") && !next.isWord("readpast");
}

// The index of the parenthesis that closes the one at `open`; tokens.size() when none does.
std::size_t closingParenthesis(const std::vector<SqlToken>& tokens, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < tokens.size(); ++i) {
        if (tokens[i].isSymbol("(")) ++depth;
        if (tokens[i].isSymbol(")") && --depth == 0) return i;
    }
    return tokens.size();
}

// The index of the last token of the operand that starts at `start`: a signed operand, a
// parenthesised expression, a case expression, a call, or a (qualified) name or literal;
// tokens.size() for an operand cut short.
std::size_t operandEnd(const std::vector<SqlToken>& tokens, std::size_t start) {
    const std::size_t none = tokens.size();
    std::size_t i = start;
    while (i + 1 < tokens.size() &&
           (tokens[i].isSymbol("-") || tokens[i].isSymbol("+") || tokens[i].isSymbol("~")))
        ++i;
    if (tokens[i].isSymbol("(")) return closingParenthesis(tokens, i);
    if (tokens[i].isWord("case")) {
        int depth = 0;
        for (std::size_t k = i; k < tokens.size(); ++k) {
            if (tokens[k].isWord("case")) ++depth;
            if (tokens[k].isWord("end") && --depth == 0) return k;
        }
        return none;
    }
    if (i + 1 < tokens.size() && tokens[i].kind == SqlToken::Kind::Word &&
        tokens[i + 1].isSymbol("("))
        return closingParenthesis(tokens, i + 1);
    if (tokens[i].kind == SqlToken::Kind::Symbol) return none;
    while (i + 2 < tokens.size() && tokens[i + 1].isSymbol(".") && isName(tokens[i + 2])) i += 2;
    return i;
}

}  // namespace

std::string quoteSqlString(const std::string& text) { return quoteWith(text, '\''); }

std::string quoteSqlName(const std::string& name) { return quoteWith(name, '"'); }

TranslatedSql translateToSqlite(const Statement& statement, const std::string& currentDatabase,
                                const VariableLookup& variables, const VariableLookup& functions) {
    TranslatedSql result;
    const std::vector<SqlToken>& tokens = statement.tokens;
    if (tokens.empty()) return result;
    const std::size_t base = tokens.front().offset;
    std::string& out = result.sql;
    std::string limit;
    std::size_t previousEnd = base;
    int depth = 0;

    auto gapBefore = [&](const SqlToken& token) {
        if (token.offset > previousEnd)
            return statement.text.substr(previousEnd - base, token.offset - previousEnd);
        return std::string();
    };

    // The select list of the outer select: `name = expr` items become `expr AS name`.
    bool inList = false;
    bool itemStart = false;
    std::string alias;
    auto closeItem = [&] {
        if (!alias.empty()) out += " AS " + quoteName(alias);
        alias.clear();
    };
    // The right operands of / and %, each wrapped in the zero check: where each one ends.
    std::vector<std::size_t> divisorEnds;
    // The casts open: where the `as` of each one's type is and where its parenthesis closes.
    std::vector<std::pair<std::size_t, std::size_t>> castTypes;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        while (!divisorEnds.empty() && divisorEnds.back() < i) {
            out += ")";
            divisorEnds.pop_back();
        }
        const SqlToken& token = tokens[i];
        auto next = [&](std::size_t k) -> const SqlToken* {
            return i + k < tokens.size() ? &tokens[i + k] : nullptr;
        };
        // The `as type` of a cast, already given to the conversion: nothing of it is written.
        if (!castTypes.empty() && castTypes.back().first == i) {
            const SqlToken& last = tokens[castTypes.back().second - 1];
            previousEnd = last.offset + last.text.size();
            i = castTypes.back().second - 1;
            castTypes.pop_back();
            continue;
        }
        if (inList && depth == 0) {
            static const char* const ends[] = {"from",   "where", "group", "order",
                                               "having", "union", "into",  "for"};
            bool end = token.isSymbol(";");
            for (const char* word : ends) end = end || token.isWord(word);
            if (end || token.isSymbol(",")) {
                closeItem();
                itemStart = token.isSymbol(",");
                inList = !end;
            } else if (itemStart) {
                itemStart = false;
                const bool named = token.kind == SqlToken::Kind::Word ||
                                   token.kind == SqlToken::Kind::BracketName ||
                                   token.kind == SqlToken::Kind::String;
                if (named && next(1) && next(1)->isSymbol("=") && next(2)) {
                    alias = token.kind == SqlToken::Kind::Word ? token.text : token.value;
                    out += gapBefore(token);
                    previousEnd = next(1)->offset + next(1)->text.size();
                    ++i;
                    continue;
                }
            }
        }
        out += gapBefore(token);
        previousEnd = token.offset + token.text.size();

        if (token.isSymbol("("))
            ++depth;
        else if (token.isSymbol(")"))
            --depth;

        // Qualified names: db..table, db.owner.table, dbo.table.
        if (isName(token) && (i == 0 || !tokens[i - 1].isSymbol("."))) {
            const SqlToken* dot1 = next(1);
            const SqlToken* second = next(2);
            // A catalog: the temporary table that holds it, under the catalog's own name
            // unless the statement gives it another.
            std::size_t last = i;
            std::string catalogDatabase = currentDatabase;
            if (dot1 && dot1->isSymbol(".") && second && second->isSymbol(".") && next(3) &&
                isName(*next(3))) {
                catalogDatabase = nameOf(token);
                last = i + 3;
            } else if (dot1 && dot1->isSymbol(".") && second && isName(*second) && next(3) &&
                       next(3)->isSymbol(".") && next(4) && isName(*next(4))) {
                catalogDatabase = nameOf(token);
                last = i + 4;
            } else if (token.isWord("dbo") && dot1 && dot1->isSymbol(".") && second &&
                       isName(*second)) {
                last = i + 2;
            }
            const std::string catalog = asciiLower(nameOf(tokens[last]));
            const bool followed = last + 1 < tokens.size() && (tokens[last + 1].isSymbol(".") ||
                                                               tokens[last + 1].isSymbol("("));
            if (isCatalogName(catalog) && !followed) {
                out += catalogTable(catalogDatabase, catalog);
                if (!aliasFollows(tokens, last)) out += " AS " + quoteName(catalog);
                result.catalogs.insert({catalogDatabase, catalog});
                if (catalogDatabase != currentDatabase) result.databases.insert(catalogDatabase);
                previousEnd = tokens[last].offset + tokens[last].text.size();
                i = last;
                continue;
            }
            if (dot1 && dot1->isSymbol(".") && second && second->isSymbol(".") && next(3) &&
                isName(*next(3))) {
                std::string database = nameOf(token);
                out += (database == currentDatabase ? std::string("main") : quoteName(database)) +
                       "." + quoteName(nameOf(*next(3)));
                if (database != currentDatabase) result.databases.insert(database);
                previousEnd = next(3)->offset + next(3)->text.size();
                i += 3;
                continue;
            }
            if (dot1 && dot1->isSymbol(".") && second && isName(*second) && next(3) &&
                next(3)->isSymbol(".") && next(4) && isName(*next(4))) {
                std::string database = nameOf(token);
                out += (database == currentDatabase ? std::string("main") : quoteName(database)) +
                       "." + quoteName(nameOf(*next(4)));
                if (database != currentDatabase) result.databases.insert(database);
                previousEnd = next(4)->offset + next(4)->text.size();
                i += 4;
                continue;
            }
            if (token.isWord("dbo") && dot1 && dot1->isSymbol(".") && second && isName(*second)) {
                out += quoteName(nameOf(*second));
                previousEnd = second->offset + second->text.size();
                i += 2;
                continue;
            }
        }

        switch (token.kind) {
            case SqlToken::Kind::String:
                out += quoteSqlString(token.value);
                break;
            case SqlToken::Kind::BracketName:
                out += quoteName(token.value);
                break;
            case SqlToken::Kind::Variable: {
                std::optional<std::string> value = variables ? variables(token.text) : std::nullopt;
                if (!value) throw UnknownVariable(token.text);
                out += *value;
                break;
            }
            case SqlToken::Kind::Symbol:
                if (token.isSymbol("+") &&
                    ((i > 0 && tokens[i - 1].kind == SqlToken::Kind::String) ||
                     (next(1) && next(1)->kind == SqlToken::Kind::String)))
                    out += "||";
                else
                    out += token.text;
                if ((token.isSymbol("/") || token.isSymbol("%")) && next(1)) {
                    // An operand cut short is left alone, for SQLite to name in its 102.
                    const std::size_t end = operandEnd(tokens, i + 1);
                    if (end < tokens.size()) {
                        out += std::string(kDivisorFunction) + "(";
                        divisorEnds.push_back(end);
                    }
                }
                break;
            default:
                if (functions && token.kind == SqlToken::Kind::Word && next(1) &&
                    next(1)->isSymbol("(") && next(2) && next(2)->isSymbol(")")) {
                    std::string name = token.text;
                    for (char& c : name)
                        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    if (std::optional<std::string> literal = functions(name)) {
                        out += *literal;
                        previousEnd = next(2)->offset + next(2)->text.size();
                        i += 2;
                        break;
                    }
                }
                // convert(type[(n)], value[, style]): the type becomes the conversion's first
                // argument, a text.
                if (token.isWord("convert") && next(1) && next(1)->isSymbol("(") && next(2) &&
                    next(2)->kind == SqlToken::Kind::Word) {
                    std::size_t k = 3;
                    std::string type = next(2)->lower();
                    if (next(k) && next(k)->isSymbol("(")) {
                        while (next(k) && !next(k)->isSymbol(")")) type += next(k++)->text;
                        if (next(k)) type += next(k++)->text;
                    }
                    if (next(k) && next(k)->isSymbol(",")) {
                        out += std::string(kConvertFunction) + "(" + quoteSqlString(type) + ",";
                        ++depth;  // its parenthesis, consumed here
                        previousEnd = next(k)->offset + next(k)->text.size();
                        i += k;
                        break;
                    }
                }
                // select ... for browse: the rows as any select gives them; the client's
                // browse functions find no table to update in them.
                if (token.isWord("for") && depth == 0 && next(1) && next(1)->isWord("browse")) {
                    previousEnd = next(1)->offset + next(1)->text.size();
                    ++i;
                    break;
                }
                // cast(value as type): the same conversion, so that a type the server does not
                // know is refused as convert refuses it, not left to SQLite's loose affinity.
                if (token.isWord("cast") && next(1) && next(1)->isSymbol("(")) {
                    const std::optional<std::size_t> as = castTypeStart(tokens, i + 1);
                    const std::size_t close = closingParenthesis(tokens, i + 1);
                    if (as && *as + 1 < close && close < tokens.size()) {
                        std::string type = tokens[*as + 1].lower();
                        for (std::size_t k = *as + 2; k < close; ++k) type += tokens[k].text;
                        out += std::string(kConvertFunction) + "(" + quoteSqlString(type) + ",";
                        ++depth;  // its parenthesis, consumed here
                        previousEnd = next(1)->offset + next(1)->text.size();
                        castTypes.emplace_back(*as, close);
                        ++i;
                        break;
                    }
                }
                // #name: a temporary table of the session, SQLite's temp schema of the
                // connection.
                if (token.isWord("table") && i > 0 && tokens[i - 1].isWord("create") && next(1) &&
                    next(1)->kind == SqlToken::Kind::Word && next(1)->text.front() == '#') {
                    out += "temp " + token.text;
                    break;
                }
                if (token.text.front() == '#') {
                    out += quoteName(token.text);
                    break;
                }
                // isnull(a, b) is the server's name for SQLite's ifnull; SQLite reads "isnull" as an operator.
                if (token.isWord("isnull") && next(1) && next(1)->isSymbol("(")) {
                    out += "ifnull";
                    break;
                }
                out += token.text;
                if (i == 0 && token.isWord("insert") && !(next(1) && next(1)->isWord("into"))) {
                    out += " into";
                } else if (i == 0 && token.isWord("delete") &&
                           !(next(1) && next(1)->isWord("from"))) {
                    out += " from";
                } else if (i == 0 && token.isWord("truncate") && next(1) &&
                           next(1)->isWord("table")) {
                    out.resize(out.size() - token.text.size());
                    out += "delete from";
                    previousEnd = next(1)->offset + next(1)->text.size();
                    ++i;
                } else if (token.isWord("select") && depth == 0 && limit.empty()) {
                    inList = true;
                    itemStart = true;
                    std::size_t k = 1;
                    if (next(k) && (next(k)->isWord("distinct") || next(k)->isWord("all"))) {
                        out += gapBefore(*next(k)) + next(k)->text;
                        previousEnd = next(k)->offset + next(k)->text.size();
                        ++k;
                    }
                    if (next(k) && next(k)->isWord("top") && next(k + 1) &&
                        next(k + 1)->kind == SqlToken::Kind::Number) {
                        limit = next(k + 1)->text;
                        previousEnd = next(k + 1)->offset + next(k + 1)->text.size();
                        i += k + 1;
                    } else {
                        i += k - 1;
                    }
                }
                break;
        }
    }
    out += std::string(divisorEnds.size(), ')');
    if (inList) closeItem();
    if (!limit.empty()) out += " LIMIT " + limit;
    return result;
}

}  // namespace tvr::sim
