#include "sim/procs/ProcedureStatements.h"

namespace tvr::sim {
namespace {

bool isName(const SqlToken& t) {
    return t.kind == SqlToken::Kind::Word || t.kind == SqlToken::Kind::BracketName;
}
std::string nameOf(const SqlToken& t) {
    return t.kind == SqlToken::Kind::BracketName ? t.value : t.text;
}

// [db.[owner].]name at i; returns the last part and moves i past it.
std::optional<std::string> qualifiedName(const std::vector<SqlToken>& tokens, std::size_t& i) {
    std::optional<std::string> last;
    while (i < tokens.size()) {
        if (isName(tokens[i])) {
            last = nameOf(tokens[i]);
            ++i;
        } else if (!tokens[i].isSymbol(".")) {
            break;
        }
        if (i < tokens.size() && tokens[i].isSymbol(".")) {
            ++i;
            while (i < tokens.size() && tokens[i].isSymbol(".")) ++i;  // db..name
            continue;
        }
        break;
    }
    return last;
}

bool isProcedureWord(const SqlToken& t) { return t.isWord("proc") || t.isWord("procedure"); }

struct Conditions {
    std::optional<std::string> name;
    std::optional<std::string> type;
};

// name = 'X', 'X' = name, type = 'P', type in ('P', ...), id = object_id('X'), uid = user_id(),
// joined by and. False for anything else.
bool parseConditions(const std::vector<SqlToken>& t, std::size_t begin, std::size_t end,
                     Conditions& out) {
    std::size_t i = begin;
    auto stringAt = [&](std::size_t k) { return k < end && t[k].kind == SqlToken::Kind::String; };
    auto objectIdCall = [&](std::size_t k, std::string& name) {
        if (k + 3 < end && t[k].isWord("object_id") && t[k + 1].isSymbol("(") && stringAt(k + 2) &&
            k + 3 < end && t[k + 3].isSymbol(")")) {
            name = t[k + 2].value;
            return true;
        }
        return false;
    };
    while (i < end) {
        if (i + 2 < end && t[i].isWord("name") && t[i + 1].isSymbol("=") && stringAt(i + 2)) {
            out.name = t[i + 2].value;
            i += 3;
        } else if (i + 2 < end && stringAt(i) && t[i + 1].isSymbol("=") &&
                   t[i + 2].isWord("name")) {
            out.name = t[i].value;
            i += 3;
        } else if (i + 2 < end && t[i].isWord("type") && t[i + 1].isSymbol("=") &&
                   stringAt(i + 2)) {
            out.type = t[i + 2].value;
            i += 3;
        } else if (i + 2 < end && t[i].isWord("type") && t[i + 1].isWord("in") &&
                   t[i + 2].isSymbol("(")) {
            std::string types;
            i += 3;
            while (i < end && !t[i].isSymbol(")")) {
                if (stringAt(i))
                    types += t[i].value;
                else if (!t[i].isSymbol(","))
                    return false;
                ++i;
            }
            if (i == end) return false;
            ++i;
            out.type = types;
        } else if (i + 2 < end && t[i].isWord("id") && t[i + 1].isSymbol("=")) {
            std::string name;
            if (!objectIdCall(i + 2, name)) return false;
            out.name = name;
            i += 6;
        } else if (i + 4 < end && t[i].isWord("uid") && t[i + 1].isSymbol("=") &&
                   t[i + 2].isWord("user_id") && t[i + 3].isSymbol("(") && t[i + 4].isSymbol(")")) {
            i += 5;  // the caller's own objects: every object here belongs to dbo, the only user
        } else {
            return false;
        }
        if (i < end) {
            if (!t[i].isWord("and")) return false;
            ++i;
        }
    }
    return true;
}

// Splits "STATEMENT [else STATEMENT]" starting at i.
void branches(const std::vector<SqlToken>& t, std::size_t i, ObjectTest& out) {
    out.thenBegin = i;
    out.thenEnd = t.size();
    int depth = 0;
    int nestedIfs = 0;
    for (std::size_t k = i; k < t.size(); ++k) {
        if (t[k].isSymbol("("))
            ++depth;
        else if (t[k].isSymbol(")"))
            --depth;
        else if (depth == 0 && t[k].isWord("if"))
            ++nestedIfs;
        else if (depth == 0 && t[k].isWord("else")) {
            if (nestedIfs > 0) {
                --nestedIfs;
                continue;
            }
            out.thenEnd = k;
            out.elseBegin = k + 1;
            out.elseEnd = t.size();
            return;
        }
    }
}

}  // namespace

std::optional<std::string> createProcedureName(const std::vector<SqlToken>& tokens) {
    if (tokens.size() < 3 || !tokens[0].isWord("create") || !isProcedureWord(tokens[1]))
        return std::nullopt;
    std::size_t i = 2;
    return qualifiedName(tokens, i);
}

std::optional<std::vector<std::string>> dropProcedureNames(const std::vector<SqlToken>& tokens) {
    if (tokens.size() < 2 || !tokens[0].isWord("drop") || !isProcedureWord(tokens[1]))
        return std::nullopt;
    std::vector<std::string> names;
    std::size_t i = 2;
    for (;;) {
        const auto name = qualifiedName(tokens, i);
        if (!name) return std::vector<std::string>{};
        names.push_back(*name);
        if (i == tokens.size()) return names;
        if (!tokens[i].isSymbol(",")) return std::vector<std::string>{};
        ++i;
    }
}

std::optional<ObjectTest> parseObjectTest(const std::vector<SqlToken>& t) {
    if (t.size() < 4 || !t[0].isWord("if")) return std::nullopt;
    ObjectTest test;
    std::size_t i = 1;
    if (t[i].isWord("object_id")) {
        // if object_id('X') is [not] null
        if (t.size() < 8 || !t[2].isSymbol("(") || t[3].kind != SqlToken::Kind::String ||
            !t[4].isSymbol(")") || !t[5].isWord("is"))
            return std::nullopt;
        test.name = t[3].value;
        i = 6;
        const bool notNull = t[i].isWord("not");
        if (notNull) ++i;
        if (i >= t.size() || !t[i].isWord("null")) return std::nullopt;
        test.negated = !notNull;
        branches(t, i + 1, test);
        return test.thenBegin < test.thenEnd ? std::optional<ObjectTest>(test) : std::nullopt;
    }
    if (t[i].isWord("not")) {
        test.negated = true;
        ++i;
    }
    if (i + 2 >= t.size() || !t[i].isWord("exists") || !t[i + 1].isSymbol("(") ||
        !t[i + 2].isWord("select"))
        return std::nullopt;
    // Find the closing parenthesis of exists( ... ).
    std::size_t open = i + 1;
    int depth = 0;
    std::size_t close = t.size();
    for (std::size_t k = open; k < t.size(); ++k) {
        if (t[k].isSymbol("("))
            ++depth;
        else if (t[k].isSymbol(")") && --depth == 0) {
            close = k;
            break;
        }
    }
    if (close == t.size()) return std::nullopt;
    std::size_t from = open + 2;
    while (from < close && !t[from].isWord("from")) ++from;
    if (from == close) return std::nullopt;
    std::size_t k = from + 1;
    const auto table = qualifiedName(t, k);
    if (!table || (*table != "sysobjects" && *table != "SYSOBJECTS")) return std::nullopt;
    Conditions conditions;
    if (k < close) {
        if (!t[k].isWord("where") || !parseConditions(t, k + 1, close, conditions))
            return std::nullopt;
    }
    test.name = conditions.name;
    test.type = conditions.type;
    branches(t, close + 1, test);
    if (test.thenBegin >= test.thenEnd) return std::nullopt;
    return test;
}

}  // namespace tvr::sim
