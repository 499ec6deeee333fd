#include "sim/statements/BatchSplitter.h"

#include <cstring>

namespace tvr::sim {

bool Statement::startsWith(std::initializer_list<const char*> words) const {
    std::size_t i = 0;
    for (const char* word : words) {
        if (i >= tokens.size() || !tokens[i].isWord(word)) return false;
        ++i;
    }
    return true;
}

BatchSplitter::BatchSplitter()
    : starters_{"select", "insert",   "update",      "delete",    "create",     "drop",
                "alter",  "truncate", "use",         "print",     "declare",    "set",
                "exec",   "execute",  "dump",        "load",      "online",     "begin",
                "commit", "rollback", "save",        "waitfor",   "if",         "while",
                "return", "grant",    "revoke",      "raiserror", "checkpoint", "dbcc",
                "kill",   "shutdown", "reconfigure", "break",     "continue"} {}

namespace {

struct Builder {
    const std::set<std::string>& starters;
    const std::string& batch;
    std::vector<Statement>& out;
    Statement current;

    void flush() {
        if (current.tokens.empty()) return;
        const SqlToken& first = current.tokens.front();
        const SqlToken& last = current.tokens.back();
        current.text = batch.substr(first.offset, last.offset + last.text.size() - first.offset);
        current.line = first.line;
        current.firstInBatch = out.empty();
        current.startsWithKeyword =
            first.kind == SqlToken::Kind::Word && starters.count(first.lower()) != 0;
        out.push_back(std::move(current));
        current = Statement{};
    }
};

bool isTransactionWord(const SqlToken& token) {
    return token.isWord("tran") || token.isWord("transaction") || token.isWord("distributed");
}

}  // namespace

bool BatchSplitter::beginsStatement(const std::vector<SqlToken>& cur, const SqlToken& token) const {
    if (token.kind != SqlToken::Kind::Word || starters_.count(token.lower()) == 0) return false;
    if (cur.empty()) return true;
    const SqlToken& previous = cur.back();
    const std::string head = cur.front().lower();
    if (token.isWord("select")) {
        bool insertWithoutSource = head == "insert";
        for (const SqlToken& seen : cur)
            if (seen.isWord("values") || seen.isWord("select")) insertWithoutSource = false;
        return !(previous.isWord("union") || previous.isWord("all") || previous.isWord("as") ||
                 previous.isWord("exists") || previous.isWord("in") ||
                 previous.isWord("intersect") || previous.isWord("except") || insertWithoutSource);
    }
    if (token.isWord("set")) {
        bool updateWithoutSet = head == "update";
        for (std::size_t k = 1; k < cur.size(); ++k)
            if (cur[k].isWord("set")) updateWithoutSet = false;
        return !updateWithoutSet;
    }
    // create database ... for load
    if (token.isWord("load")) return !previous.isWord("for");
    if (token.isWord("delete") || token.isWord("update") || token.isWord("insert"))
        return !(previous.isWord("on") || previous.isWord("for") || previous.isWord("of") ||
                 previous.isSymbol(","));
    return true;
}

bool takesRestOfBatch(const std::vector<SqlToken>& tokens, std::size_t i) {
    if (!tokens[i].isWord("create") || i + 1 >= tokens.size()) return false;
    const SqlToken& what = tokens[i + 1];
    return what.isWord("proc") || what.isWord("procedure") || what.isWord("trigger") ||
           what.isWord("view") || what.isWord("function");
}

std::vector<Statement> BatchSplitter::split(const std::string& batch) const {
    std::vector<SqlToken> tokens = tokenizeSql(batch);
    std::vector<Statement> statements;
    Builder builder{starters_, batch, statements, {}};

    int depth = 0;       // parentheses
    int blockDepth = 0;  // begin ... end
    // Control flow: an `if`/`while` statement owns the statement after its condition.
    int pendingBodies = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        std::vector<SqlToken>& cur = builder.current.tokens;
        if (token.isSymbol(";") && depth == 0 && blockDepth == 0) {
            if (pendingBodies == 0) builder.flush();
            continue;
        }
        if (token.isSymbol("("))
            ++depth;
        else if (token.isSymbol(")") && depth > 0)
            --depth;

        bool starter = depth == 0 && blockDepth == 0 && beginsStatement(cur, token);
        if (starter && !cur.empty() && pendingBodies > 0) {
            // The body of an if/while: it belongs to the current statement.
            --pendingBodies;
            starter = false;
        }
        if (starter) builder.flush();
        std::vector<SqlToken>& target = builder.current.tokens;
        if (token.kind == SqlToken::Kind::Word && depth == 0) {
            if (token.isWord("if") || token.isWord("while"))
                ++pendingBodies;
            else if (token.isWord("else") && !target.empty())
                ++pendingBodies;
            else if (token.isWord("begin") &&
                     !(i + 1 < tokens.size() && isTransactionWord(tokens[i + 1])))
                ++blockDepth;
            else if (token.isWord("end") && blockDepth > 0)
                --blockDepth;
        }
        if (token.kind == SqlToken::Kind::Word && depth == 0 && blockDepth == 0 &&
            takesRestOfBatch(tokens, i) && pendingBodies == 0) {
            builder.flush();
            builder.current.tokens.assign(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                                          tokens.end());
            break;
        }
        target.push_back(token);
    }
    builder.flush();
    return statements;
}

}  // namespace tvr::sim
