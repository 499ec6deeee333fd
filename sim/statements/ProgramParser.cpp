// The reading half of the interpreter: a batch or a procedure's text into its tree of
// statements, refused whole (102 and the like) before anything of it runs, as the server
// compiles a batch.
#include "sim/statements/Interpreter.h"

#include "sim/statements/ServerMessages.h"

namespace tvr::sim {
namespace {

bool isTransactionWord(const SqlToken& token) {
    return token.isWord("tran") || token.isWord("transaction") || token.isWord("distributed");
}

bool isBlockBegin(const std::vector<SqlToken>& tokens, std::size_t i) {
    return tokens[i].isWord("begin") &&
           !(i + 1 < tokens.size() && isTransactionWord(tokens[i + 1]));
}

class ParseFailure {
public:
    ProgramRefusal refusal;
};

class Parser {
public:
    Parser(const std::string& source, std::vector<SqlToken> tokens, const CommandSet& commands,
           bool batch)
        : source_(source), tokens_(std::move(tokens)), commands_(commands), batch_(batch) {}

    std::vector<ProgramNode> sequence(bool inBlock) {
        std::vector<ProgramNode> nodes;
        while (true) {
            skipSemicolons();
            if (i_ >= tokens_.size()) break;
            if (inBlock && tokens_[i_].isWord("end")) break;
            nodes.push_back(one());
        }
        return nodes;
    }

private:
    void skipSemicolons() {
        while (i_ < tokens_.size() && tokens_[i_].isSymbol(";")) ++i_;
    }

    [[noreturn]] void fail(const SqlToken& near, const std::string& reason) {
        ServerMessage message = messages::syntaxError(near.text);
        message.line = near.line;
        throw ParseFailure{{message, reason + " (line " + std::to_string(near.line) + ")"}};
    }

    Statement statementOf(std::size_t begin, std::size_t end) {
        Statement statement;
        statement.tokens.assign(tokens_.begin() + static_cast<std::ptrdiff_t>(begin),
                                tokens_.begin() + static_cast<std::ptrdiff_t>(end));
        const SqlToken& first = statement.tokens.front();
        const SqlToken& last = statement.tokens.back();
        statement.text =
            source_.substr(first.offset, last.offset + last.text.size() - first.offset);
        statement.line = first.line;
        statement.firstInBatch = batch_ && first_;
        statement.startsWithKeyword = first.kind == SqlToken::Kind::Word &&
                                      commands_.splitter.isStatementKeyword(first.lower());
        return statement;
    }

    ProgramNode one() {
        const SqlToken& start = tokens_[i_];
        ProgramNode node;
        if (isBlockBegin(tokens_, i_)) {
            ++i_;
            node.kind = ProgramNode::Kind::Block;
            node.children = sequence(true);
            if (i_ >= tokens_.size()) fail(start, "a begin without its end");
            ++i_;
            return node;
        }
        if (start.isWord("if") || start.isWord("while")) {
            node.kind = start.isWord("if") ? ProgramNode::Kind::If : ProgramNode::Kind::While;
            const std::size_t condition = ++i_;
            int depth = 0;
            for (; i_ < tokens_.size(); ++i_) {
                const SqlToken& token = tokens_[i_];
                if (token.isSymbol("(")) ++depth;
                if (token.isSymbol(")")) --depth;
                if (depth == 0 && i_ > condition && token.kind == SqlToken::Kind::Word &&
                    commands_.splitter.isStatementKeyword(token.lower()))
                    break;
            }
            if (i_ == condition || i_ >= tokens_.size())
                fail(tokens_[i_ - 1], "an " + start.lower() + " without a statement to run");
            node.statement = statementOf(condition, i_);
            node.statement.firstInBatch = false;
            node.children.push_back(one());
            skipSemicolons();
            if (node.kind == ProgramNode::Kind::If && i_ < tokens_.size() &&
                tokens_[i_].isWord("else")) {
                const SqlToken& elseToken = tokens_[i_++];
                skipSemicolons();
                if (i_ >= tokens_.size() || tokens_[i_].isWord("end"))
                    fail(elseToken, "an else without a statement to run");
                node.children.push_back(one());
            }
            return node;
        }
        if (start.isWord("else") || start.isWord("end"))
            fail(start, "an " + start.lower() + " without its if or begin");

        const std::size_t begin = i_++;
        if (batch_ && takesRestOfBatch(tokens_, begin)) {
            i_ = tokens_.size();
        } else {
            std::vector<SqlToken> current{tokens_[begin]};
            int depth = 0, cases = 0;
            for (; i_ < tokens_.size(); ++i_) {
                const SqlToken& token = tokens_[i_];
                if (depth == 0 && cases == 0 &&
                    (token.isSymbol(";") || token.isWord("else") || token.isWord("end") ||
                     commands_.splitter.beginsStatement(current, token)))
                    break;
                if (token.isSymbol("(")) ++depth;
                if (token.isSymbol(")")) --depth;
                if (token.isWord("case")) ++cases;
                if (token.isWord("end") && cases > 0) --cases;
                current.push_back(token);
            }
        }
        node.statement = statementOf(begin, i_);
        first_ = false;
        const Statement& s = node.statement;
        const std::string head = s.keyword();
        const bool assignment = s.tokens.size() > 2 && isLocalVariable(s.tokens[1]) &&
                                s.tokens[2].isSymbol("=") && (head == "select" || head == "set");
        if (head == "declare")
            node.kind = ProgramNode::Kind::Declare;
        else if (assignment)
            node.kind = ProgramNode::Kind::Assign;
        else if (head == "return")
            node.kind = ProgramNode::Kind::Return;
        else if (head == "break")
            node.kind = ProgramNode::Kind::Break;
        else if (head == "continue")
            node.kind = ProgramNode::Kind::Continue;
        else if (commands_.find(s) == nullptr)
            fail(start,
                 "the statement '" + s.text.substr(0, 60) + "', which this emulator does not run");
        return node;
    }

    const std::string& source_;
    std::vector<SqlToken> tokens_;
    const CommandSet& commands_;
    bool batch_;
    bool first_ = true;
    std::size_t i_ = 0;
};

}  // namespace

std::variant<Program, ProgramRefusal> parseProgram(const std::string& source, std::size_t from,
                                                   std::size_t to, const CommandSet& commands,
                                                   bool batch) {
    std::vector<SqlToken> tokens;
    for (SqlToken& token : tokenizeSql(source))
        if (token.offset >= from && token.offset + token.text.size() <= to)
            tokens.push_back(std::move(token));
    Parser parser(source, std::move(tokens), commands, batch);
    try {
        Program program;
        program.nodes = parser.sequence(false);
        return program;
    } catch (const ParseFailure& failure) {
        return failure.refusal;
    }
}

}  // namespace tvr::sim
