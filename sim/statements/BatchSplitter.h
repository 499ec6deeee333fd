#pragma once
// Cuts a batch into its statements. Transact-SQL needs no separator between statements, so a
// statement ends where a keyword that begins a statement appears outside parentheses, with the
// usual exceptions (the select of an insert ... select, the set of an update, a subquery).
// `if`/`while` take the statement that follows them (and an `else` one) along; begin ... end
// blocks stay whole; create procedure, trigger, view and function take the rest of the batch.
#include "sim/statements/SqlLexer.h"

#include <set>
#include <string>
#include <vector>

namespace tvr::sim {

struct Statement {
    std::vector<SqlToken> tokens;
    std::string text;  // the statement's source text, from its first to its last token
    int line = 1;      // line of the batch on which it begins
    bool firstInBatch = false;
    bool startsWithKeyword = false;  // its first word is one that begins statements

    bool startsWith(std::initializer_list<const char*> words) const;
    std::string keyword() const { return tokens.empty() ? std::string() : tokens.front().lower(); }
};

// create procedure, trigger, view or function at tokens[i]: a statement that takes the rest of
// its batch.
bool takesRestOfBatch(const std::vector<SqlToken>& tokens, std::size_t i);

class BatchSplitter {
public:
    BatchSplitter();
    // Adds a word that begins a statement (lower case), for statements handled elsewhere.
    void addStatementKeyword(const std::string& word) { starters_.insert(word); }
    bool isStatementKeyword(const std::string& lowerWord) const {
        return starters_.count(lowerWord) != 0;
    }

    // Whether `token`, met outside parentheses, begins a new statement after the tokens of
    // `current`: a statement keyword, but for the select of an insert ... select or of a union,
    // the set of an update, and the like.
    bool beginsStatement(const std::vector<SqlToken>& current, const SqlToken& token) const;

    // Throws SqlLexError for an unclosed quote, bracket or comment.
    std::vector<Statement> split(const std::string& batch) const;

private:
    std::set<std::string> starters_;
};

}  // namespace tvr::sim
