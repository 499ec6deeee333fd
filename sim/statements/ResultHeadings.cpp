#include "sim/statements/ResultHeadings.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <utility>

namespace tvr::sim {
namespace {

bool isNameToken(const SqlToken& token) {
    return token.kind == SqlToken::Kind::Word || token.kind == SqlToken::Kind::String ||
           token.kind == SqlToken::Kind::BracketName;
}

// A word that ends an expression rather than naming its column.
bool endsExpression(const SqlToken& token) {
    static const char* const words[] = {"end",  "null", "and",  "or",      "not",
                                        "is",   "in",   "like", "between", "else",
                                        "then", "when", "case", "escape"};
    for (const char* word : words)
        if (token.isWord(word)) return true;
    return false;
}

bool hasAlias(const std::vector<const SqlToken*>& item) {
    if (item.size() < 2 || !isNameToken(*item.back())) return false;
    const SqlToken& before = *item[item.size() - 2];
    if (before.isWord("as")) return true;
    if (item.back()->kind == SqlToken::Kind::Word && endsExpression(*item.back())) return false;
    return isNameToken(before) || before.kind == SqlToken::Kind::Number || before.isSymbol(")");
}

// The type of a conversion that makes the whole item (an alias aside): convert(type[(n)], ...)
// or cast(... as type[(n)]).
std::string convertTypeOf(const std::vector<const SqlToken*>& item, bool aliased) {
    if (item.size() >= 5 && item[0]->isWord("cast") && item[1]->isSymbol("(")) {
        const std::size_t end =
            item.size() - (aliased ? (item[item.size() - 2]->isWord("as") ? 2 : 1) : 0);
        if (!item[end - 1]->isSymbol(")")) return {};
        const std::optional<std::size_t> as = castTypeStart(item, 1);
        if (!as || *as + 1 >= end) return {};
        std::string type = item[*as + 1]->lower();
        for (std::size_t k = *as + 2; k + 1 < end; ++k) type += item[k]->text;
        return type;
    }
    if (item.size() < 5 || !item[0]->isWord("convert") || !item[1]->isSymbol("(") ||
        item[2]->kind != SqlToken::Kind::Word)
        return {};
    int depth = 0;
    std::size_t close = 1;
    for (; close < item.size(); ++close) {
        if (item[close]->isSymbol("(")) ++depth;
        if (item[close]->isSymbol(")") && --depth == 0) break;
    }
    const std::size_t end =
        item.size() - (aliased ? (item[item.size() - 2]->isWord("as") ? 2 : 1) : 0);
    if (close + 1 != end) return {};
    // The type ends at the first comma outside its own parentheses: numeric(10,2) is one.
    std::string type = item[2]->lower();
    int inType = 0;
    for (std::size_t k = 3; k < close && (inType > 0 || !item[k]->isSymbol(",")); ++k) {
        if (item[k]->isSymbol("(")) ++inType;
        if (item[k]->isSymbol(")")) --inType;
        type += item[k]->text;
    }
    return type;
}

// The item without its alias.
std::vector<const SqlToken*> withoutAlias(std::vector<const SqlToken*> item, bool aliased) {
    if (item.size() > 2 && isNameToken(*item[0]) && item[1]->isSymbol("="))
        item.erase(item.begin(), item.begin() + 2);
    else if (aliased)
        item.resize(item.size() - (item[item.size() - 2]->isWord("as") ? 2 : 1));
    return item;
}

// min(name), max(name) or sum(name) (the name qualified or not) as the whole item, an alias
// aside: the name, and whether it is a sum.
std::pair<std::string, bool> aggregatedColumnOf(std::vector<const SqlToken*> item, bool aliased) {
    item = withoutAlias(std::move(item), aliased);
    const bool shape = (item.size() == 4 || item.size() == 6) && item[1]->isSymbol("(") &&
                       item.back()->isSymbol(")") && isNameToken(*item[item.size() - 2]) &&
                       (item.size() == 4 || item[3]->isSymbol("."));
    if (!shape || !(item[0]->isWord("min") || item[0]->isWord("max") || item[0]->isWord("sum") ||
                    item[0]->isWord("avg")))
        return {};
    const SqlToken& name = *item[item.size() - 2];
    return {name.kind == SqlToken::Kind::BracketName ? name.value : name.text,
            item[0]->isWord("sum") || item[0]->isWord("avg")};
}

// Literals and the operators between them, nothing else: a value that is never NULL.
bool isConstant(const std::vector<const SqlToken*>& item) {
    if (item.empty()) return false;
    for (const SqlToken* token : item) {
        const bool literal =
            token->kind == SqlToken::Kind::Number || token->kind == SqlToken::Kind::String;
        bool operation = false;
        for (const char* symbol : {"+", "-", "*", "/", "%", "(", ")"})
            operation = operation || token->isSymbol(symbol);
        if (!literal && !operation) return false;
    }
    return true;
}

// The type the server gives a number literal standing alone: int, numeric(p,s) for one with a
// point or beyond int's range, float for one with an exponent.
std::string literalTypeOf(const std::vector<const SqlToken*>& item) {
    std::size_t at = item.size() == 2 && item[0]->isSymbol("-") ? 1 : 0;
    if (item.size() != at + 1 || item[at]->kind != SqlToken::Kind::Number) return {};
    const std::string& text = item[at]->text;
    if (text.find_first_of("eE") != std::string::npos) return "float";
    if (text.find_first_not_of("0123456789.") != std::string::npos) return {};
    const std::size_t point = text.find('.');
    std::string whole = text.substr(0, point);
    const std::size_t scale = point == std::string::npos ? 0 : text.size() - point - 1;
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (scale == 0 && (whole.size() < 10 || (whole.size() == 10 && whole <= "2147483647")))
        return "int";
    const std::size_t precision = std::max<std::size_t>(whole.size() + scale, 1);
    if (precision > 38) return {};
    return "numeric(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
}

}  // namespace

std::vector<SelectItem> selectItems(const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    std::size_t i = 0;
    while (i < tokens.size() && !tokens[i].isWord("select")) ++i;
    if (i == tokens.size()) return {};
    ++i;
    if (i < tokens.size() && (tokens[i].isWord("distinct") || tokens[i].isWord("all"))) ++i;
    if (i + 1 < tokens.size() && tokens[i].isWord("top")) i += 2;
    std::vector<SelectItem> items;
    std::vector<const SqlToken*> item;
    int depth = 0;
    auto finish = [&] {
        SelectItem settled;
        settled.getdate =
            item.size() >= 3 && item[0]->isWord("getdate") && item[1]->isSymbol("(") &&
            item[2]->isSymbol(")") &&
            (item.size() == 3 || (item.size() == 4 && item[3]->kind != SqlToken::Kind::Symbol) ||
             (item.size() == 5 && item[3]->isWord("as")));
        // `name = expr`, the server's own form of an alias, or `expr [as] name`.
        settled.aliased =
            hasAlias(item) || (item.size() > 2 && isNameToken(*item[0]) && item[1]->isSymbol("="));
        settled.convertType = convertTypeOf(item, settled.aliased);
        const std::vector<const SqlToken*> bare = withoutAlias(item, settled.aliased);
        settled.constant = isConstant(bare);
        if (settled.convertType.empty()) settled.convertType = literalTypeOf(bare);
        if (!item.empty())
            std::tie(settled.aggregatedColumn, settled.summed) =
                aggregatedColumnOf(item, settled.aliased);
        items.push_back(settled);
        item.clear();
    };
    static const char* const ends[] = {"from",  "where", "group",  "order",
                                       "union", "into",  "having", "for"};
    for (; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (depth == 0) {
            bool end = false;
            for (const char* word : ends) end = end || token.isWord(word);
            if (end) break;
            if (token.isSymbol(",")) {
                finish();
                continue;
            }
            if (token.isSymbol("*") && (item.empty() || item.back()->isSymbol("."))) return {};
        }
        if (token.isSymbol("("))
            ++depth;
        else if (token.isSymbol(")"))
            --depth;
        item.push_back(&token);
    }
    finish();
    return items;
}

bool looksLikeName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#' &&
            c != '@')
            return false;
    return true;
}

}  // namespace tvr::sim
