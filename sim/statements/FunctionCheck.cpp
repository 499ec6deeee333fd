#include "sim/statements/FunctionCheck.h"

#include "sim/statements/SqlLexer.h"

namespace tvr::sim {
namespace {

// Words before a name and an opening parenthesis that make it something else than a call: a
// table and its column list, or a type (convert(varchar(3), ...), cast(x as char(5))).
bool namesNoCall(const std::vector<SqlToken>& tokens, std::size_t i) {
    if (i == 0) return false;
    const SqlToken& before = tokens[i - 1];
    static const char* const words[] = {"into", "insert", "update", "from", "join", "as", "table"};
    for (const char* word : words)
        if (before.isWord(word)) return true;
    if (before.isSymbol(".")) return true;
    return before.isSymbol("(") && i >= 2 && tokens[i - 2].isWord("convert");
}

bool isKeyword(const std::string& word) {
    return sqlite3_keyword_check(word.data(), static_cast<int>(word.size())) != 0;
}

std::optional<SqlToken> unknownIn(const Statement& statement, const std::set<std::string>& known) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (token.kind != SqlToken::Kind::Word || !tokens[i + 1].isSymbol("(")) continue;
        const std::string name = token.lower();
        if (known.count(name) != 0 || isKeyword(name) || namesNoCall(tokens, i)) continue;
        // A table's alias before an index hint: from t alias (index name).
        if (i + 2 < tokens.size() &&
            (tokens[i + 2].isWord("index") || tokens[i + 2].isWord("prefetch") ||
             tokens[i + 2].isWord("lru") || tokens[i + 2].isWord("mru") ||
             tokens[i + 2].isWord("parallel")))
            continue;
        return token;
    }
    return std::nullopt;
}

// Statements whose text SQLite runs: queries and changes, the assignments of the program and
// the conditions of if and while.
bool runsInSqlite(const ProgramNode& node, const CommandSet& commands) {
    if (node.kind == ProgramNode::Kind::Assign || node.kind == ProgramNode::Kind::If ||
        node.kind == ProgramNode::Kind::While)
        return true;
    if (node.kind != ProgramNode::Kind::Simple) return false;
    const std::string head = node.statement.keyword();
    if (head != "select" && head != "insert" && head != "update" && head != "delete") return false;
    const StatementHandler* handler = commands.find(node.statement);
    return handler != nullptr && handler->name == "sql";
}

std::optional<SqlToken> unknownIn(const std::vector<ProgramNode>& nodes, const CommandSet& commands,
                                  const std::set<std::string>& known) {
    for (const ProgramNode& node : nodes) {
        if (runsInSqlite(node, commands))
            if (auto call = unknownIn(node.statement, known)) return call;
        if (auto call = unknownIn(node.children, commands, known)) return call;
    }
    return std::nullopt;
}

}  // namespace

std::set<std::string> knownFunctions(sqlite3* db) {
    std::set<std::string> known = {"convert", "isnull"};
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "select name from pragma_function_list", -1, &raw, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(raw) == SQLITE_ROW)
            if (const unsigned char* name = sqlite3_column_text(raw, 0))
                known.insert(asciiLower(reinterpret_cast<const char*>(name)));
    }
    sqlite3_finalize(raw);
    return known;
}

std::optional<SqlToken> unknownFunctionCall(const Program& program, const CommandSet& commands,
                                            const std::set<std::string>& known) {
    return unknownIn(program.nodes, commands, known);
}

}  // namespace tvr::sim
