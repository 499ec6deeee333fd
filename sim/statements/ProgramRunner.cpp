// The running half of the interpreter: statements and control flow of a parsed program, with its
// done tokens, @@error and return status.
#include "sim/statements/Interpreter.h"

#include <cstdlib>

#include "platform/ScopeExit.h"
#include "sim/statements/BatchRunner.h"
#include "sim/statements/ColumnTyping.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlRunner.h"

namespace tvr::sim {
namespace {

// A statement made of `text`, standing where `like` stood.
Statement restatement(const std::string& text, const Statement& like, const CommandSet& commands) {
    Statement statement;
    statement.tokens = tokenizeSql(text);
    for (SqlToken& token : statement.tokens) token.line += like.line - 1;
    statement.text = text;
    statement.line = like.line;
    statement.firstInBatch = like.firstInBatch;
    statement.startsWithKeyword = !statement.tokens.empty() &&
                                  statement.tokens.front().kind == SqlToken::Kind::Word &&
                                  commands.splitter.isStatementKeyword(statement.keyword());
    return statement;
}

// Forwards what the program's statements send, notes the last error of each statement
// (@@error) and, for a batch, holds back each done token until it is known whether more
// results follow.
class ProgramSink : public ResultSink {
public:
    ProgramSink(ResultSink& to, bool holdDone) : to_(to), holdDone_(holdDone) {}

    void message(const ServerMessage& message) override {
        flush(true);
        if (message.severity > 10) lastError_ = message.number;
        to_.message(message);
    }
    void rowFormat(const std::vector<Column>& columns) override {
        flush(true);
        to_.rowFormat(columns);
    }
    void browseInformation(const BrowseInformation& information) override {
        to_.browseInformation(information);
    }
    void row(const Row& row) override { to_.row(row); }
    void returnStatus(std::int32_t status) override {
        flush(true);
        to_.returnStatus(status);
    }
    void parameters(const std::vector<Column>& columns, const Row& values) override {
        flush(true);
        to_.parameters(columns, values);
    }
    void environmentChange(EnvChangeType type, const std::string& now,
                           const std::string& before) override {
        flush(true);
        to_.environmentChange(type, now, before);
    }
    void done(ServerToken token, std::uint16_t status, std::int32_t count) override {
        flush(true);
        to_.done(token, status, count);
    }
    bool cancelRequested() override { return to_.cancelRequested(); }

    // The done token of a statement of the program itself. One that ran under `set fmtonly
    // on` and succeeded, which the server only compiles, has none unless it ends the batch
    // (clients reading a format, as datacopy does, take the last result before the end as the
    // format).
    void statementDone(ServerToken token, std::uint16_t status, std::int32_t count,
                       bool formatOnly = false) {
        if (!holdDone_) return to_.done(token, status | DoneMore, count);
        flush(true);
        pending_ = Pending{token, status, count, formatOnly && !(status & DoneError)};
    }
    // Sends the held done token: with more results to follow, or as the last.
    void flush(bool more) {
        if (!pending_) return;
        const Pending held = *pending_;
        pending_.reset();
        if (more && held.onlyCompiled) return;
        sent_ = true;
        to_.done(
            held.token,
            static_cast<std::uint16_t>(more ? held.status | DoneMore : held.status & ~DoneMore),
            held.count);
    }
    bool sentAny() const { return sent_ || pending_.has_value(); }
    int takeError() {
        const int error = lastError_;
        lastError_ = 0;
        return error;
    }

private:
    struct Pending {
        ServerToken token;
        std::uint16_t status;
        std::int32_t count;
        bool onlyCompiled;
    };
    ResultSink& to_;
    bool holdDone_;
    std::optional<Pending> pending_;
    bool sent_ = false;
    int lastError_ = 0;
};

class Runner {
public:
    enum class Flow { Next, Break, Continue, Return, Stop };

    Runner(ExecutionContext& context, ProgramSink& sink, VariableScope& variables)
        : context_(context), sink_(sink), variables_(variables) {}

    Flow sequence(const std::vector<ProgramNode>& nodes) {
        for (const ProgramNode& node : nodes) {
            const Flow flow = run(node);
            if (flow != Flow::Next) return flow;
        }
        return Flow::Next;
    }

    ProgramOutcome outcome;

private:
    Flow run(const ProgramNode& node) {
        if (sink_.cancelRequested()) return cancelled();
        switch (node.kind) {
            case ProgramNode::Kind::Block:
                return sequence(node.children);
            case ProgramNode::Kind::If: {
                const std::optional<bool> holds = condition(node.statement);
                if (!holds)
                    return outcome.cancelled || outcome.endedByError ? Flow::Stop : Flow::Next;
                if (*holds) return run(node.children[0]);
                return node.children.size() > 1 ? run(node.children[1]) : Flow::Next;
            }
            case ProgramNode::Kind::While:
                while (true) {
                    if (sink_.cancelRequested()) return cancelled();
                    const std::optional<bool> holds = condition(node.statement);
                    if (!holds)
                        return outcome.cancelled || outcome.endedByError ? Flow::Stop : Flow::Next;
                    if (!*holds) return Flow::Next;
                    const Flow flow = run(node.children[0]);
                    if (flow == Flow::Break) return Flow::Next;
                    if (flow == Flow::Return || flow == Flow::Stop) return flow;
                }
            case ProgramNode::Kind::Declare:
                return declare(node.statement);
            case ProgramNode::Kind::Assign:
                return assign(node.statement);
            case ProgramNode::Kind::Return:
                return returnFrom(node.statement);
            case ProgramNode::Kind::Break:
                return Flow::Break;
            case ProgramNode::Kind::Continue:
                return Flow::Continue;
            case ProgramNode::Kind::Simple:
                break;
        }
        return simple(node.statement);
    }

    Flow cancelled() {
        outcome.cancelled = true;
        return Flow::Stop;
    }

    // The statement with its local variables replaced by their values; nothing, with 137
    // sent, for a variable not declared. The parameter names of a call and the variables that
    // receive its output parameters stay as they are.
    std::optional<Statement> substitute(const Statement& statement) {
        const auto& tokens = statement.tokens;
        const bool call = statement.keyword() == "exec" || statement.keyword() == "execute" ||
                          (statement.firstInBatch && !statement.startsWithKeyword);
        // A create procedure keeps its text as written; its variables are its own.
        bool any = statement.keyword() != "create";
        if (any) {
            any = false;
            for (const SqlToken& token : tokens) any = any || isLocalVariable(token);
        }
        if (!any) return statement;
        const std::size_t base = tokens.front().offset;
        std::string text;
        std::size_t previousEnd = base;
        for (std::size_t k = 0; k < tokens.size(); ++k) {
            const SqlToken& token = tokens[k];
            text += statement.text.substr(previousEnd - base, token.offset - previousEnd);
            previousEnd = token.offset + token.text.size();
            // A call keeps the names of its parameters and the variables that receive output.
            const bool keep = call && k + 1 < tokens.size() &&
                              (tokens[k + 1].isSymbol("=") || tokens[k + 1].isWord("output") ||
                               tokens[k + 1].isWord("out"));
            if (!isLocalVariable(token) || keep) {
                text += token.text;
                continue;
            }
            const Variable* variable = variables_.find(token.text);
            if (variable == nullptr) {
                failStatement(context_, statement, messages::undeclaredVariable(token.text), true);
                finish(StatementOutcome::failed(true), false);
                return std::nullopt;
            }
            text += variableLiteral(*variable, !call);
        }
        return restatement(text, statement, context_.commands());
    }

    // Output parameters for an RPC caller, in the parameters' types.
    void sendOutputs(const std::vector<OutputParameter>& outputs) {
        std::vector<Column> columns;
        Row values;
        for (const OutputParameter& output : outputs) {
            columns.push_back(output.column);
            RawValue raw;
            if (output.value) {
                raw.type = SQLITE_TEXT;
                raw.text = *output.value;
            }
            values.push_back(convertValue(output.column, raw).value_or(Value{}));
        }
        sink_.parameters(columns, values);
    }

    // Ends a statement of the program: @@error, and its done token.
    Flow finish(const StatementOutcome& step, bool counted) {
        if (step.cancelled) return cancelled();
        context_.lastError = sink_.takeError();
        if (step.error && context_.lastError == 0) context_.lastError = -1;
        if (step.returnStatus) sink_.returnStatus(*step.returnStatus);
        if (!step.outputs.empty()) sendOutputs(step.outputs);
        std::uint16_t status = 0;
        if (step.error) status |= DoneError;
        if (step.rowCount && counted) status |= DoneCount;
        if (context_.inTransaction()) status |= DoneInTransaction;
        const ServerToken token = !sinkIsProcedure_ && step.procedure ? TokenDoneProc
                                  : sinkIsProcedure_                  ? TokenDoneInProc
                                                                      : TokenDone;
        sink_.statementDone(token, status, static_cast<std::int32_t>(step.rowCount.value_or(0)),
                            formatOnlyStatement_);
        formatOnlyStatement_ = false;
        outcome.error = outcome.error || step.error;
        if (step.endBatch) {
            outcome.endedByError = true;
            return Flow::Stop;
        }
        return Flow::Next;
    }

    Flow simple(const Statement& statement) {
        sink_.takeError();
        const std::optional<Statement> substituted = substitute(statement);
        if (!substituted) return Flow::Stop;
        // A procedure the client's batch itself executes sends its output parameters back to
        // the client too, as the server does; one a procedure executes does not.
        if (!sinkIsProcedure_ &&
            (substituted->keyword() == "exec" || substituted->keyword() == "execute"))
            context_.returnOutputParameters = true;
        formatOnlyStatement_ = context_.formatOnly;
        return finish(runStatement(context_, *substituted), true);
    }

    // The values of `expressions` (an SQL select list and what follows it) in the last row;
    // nothing when the statement failed (its end then decided by finish).
    std::optional<std::vector<std::vector<RawValue>>> evaluate(const std::string& sql,
                                                               const Statement& at) {
        const std::optional<Statement> query =
            substitute(restatement(sql, at, context_.commands()));
        if (!query) return std::nullopt;
        auto result = queryValues(context_, *query);
        if (auto* failed = std::get_if<StatementOutcome>(&result)) {
            if (failed->cancelled) {
                cancelled();
                return std::nullopt;
            }
            finish(*failed, false);
            return std::nullopt;
        }
        return std::get<std::vector<std::vector<RawValue>>>(std::move(result));
    }

    // True or false; nothing when it could not be evaluated (the failure sent).
    std::optional<bool> condition(const Statement& statement) {
        sink_.takeError();
        if (context_.commands().conditionTest)
            if (std::optional<bool> known =
                    context_.commands().conditionTest(context_, statement.tokens))
                return known;
        // NULL compares as the server compares it by default: = NULL is IS NULL.
        const std::optional<Statement> substituted = substitute(statement);
        if (!substituted) return std::nullopt;
        const auto& tokens = substituted->tokens;
        const std::size_t base = tokens.front().offset;
        std::string text;
        std::size_t previousEnd = base;
        for (std::size_t k = 0; k < tokens.size(); ++k) {
            const SqlToken& token = tokens[k];
            text += substituted->text.substr(previousEnd - base, token.offset - previousEnd);
            previousEnd = token.offset + token.text.size();
            const bool nullNext = k + 1 < tokens.size() && tokens[k + 1].isWord("null");
            if (nullNext && (token.isSymbol("=") || token.isSymbol("==")))
                text += " is ";
            else if (nullNext && (token.isSymbol("!=") || token.isSymbol("<>")))
                text += " is not ";
            else
                text += token.text;
        }
        const auto rows = evaluate("select case when " + text + " then 1 else 0 end", *substituted);
        if (!rows) return std::nullopt;
        return !rows->empty() && rows->front().at(0).type == SQLITE_INTEGER &&
               rows->front()[0].integer == 1;
    }

    Flow declare(const Statement& statement) {
        const auto& t = statement.tokens;
        std::size_t i = 1;
        while (i < t.size()) {
            if (!isLocalVariable(t[i]) || i + 1 >= t.size() ||
                t[i + 1].kind != SqlToken::Kind::Word)
                return syntax(statement, i < t.size() ? t[i].text : t.back().text);
            const std::string name = t[i].text;
            const std::string type = t[i + 1].lower();
            i += 2;
            int length = -1, scale = 0;
            if (i < t.size() && t[i].isSymbol("(")) {
                if (i + 1 < t.size() && t[i + 1].kind == SqlToken::Kind::Number)
                    length = std::atoi(t[i + 1].text.c_str());
                if (i + 3 < t.size() && t[i + 2].isSymbol(",") &&
                    t[i + 3].kind == SqlToken::Kind::Number)
                    scale = std::atoi(t[i + 3].text.c_str());
                while (i < t.size() && !t[i].isSymbol(")")) ++i;
                ++i;
            }
            if (!variables_.declare(name, type, length, scale)) {
                ServerMessage message = messages::systemMessage(
                    134, 15, 1,
                    "The variable name '" + name +
                        "' has already been declared. Variable names must be unique within a "
                        "query batch or stored procedure.");
                failStatement(context_, statement, message, true);
                return finish(StatementOutcome::failed(true), false);
            }
            if (i < t.size() && !t[i].isSymbol(",")) return syntax(statement, t[i].text);
            ++i;
        }
        return Flow::Next;
    }

    Flow syntax(const Statement& statement, const std::string& near) {
        failStatement(context_, statement, messages::syntaxError(near), true);
        return finish(StatementOutcome::failed(true), false);
    }

    // select @a = expr [, @b = expr] [from ...], set @a = expr: the values of the last row.
    Flow assign(const Statement& statement) {
        sink_.takeError();
        const auto& t = statement.tokens;
        const bool select = statement.keyword() == "select";
        const std::size_t base = t.front().offset;
        auto source = [&](std::size_t from, std::size_t to) {
            return statement.text.substr(t[from].offset - base,
                                         t[to - 1].offset + t[to - 1].text.size() - t[from].offset);
        };
        std::vector<std::string> targets;
        std::string list;
        std::string rest;
        std::size_t i = 1;
        while (i < t.size()) {
            if (!isLocalVariable(t[i]) || i + 2 >= t.size() || !t[i + 1].isSymbol("="))
                return syntax(statement, t[i].text);
            targets.push_back(t[i].text);
            const std::size_t from = i + 2;
            int depth = 0;
            for (i = from; i < t.size(); ++i) {
                if (t[i].isSymbol("(")) ++depth;
                if (t[i].isSymbol(")")) --depth;
                if (depth > 0) continue;
                if (t[i].isSymbol(",")) break;
                static const char* const ends[] = {"from",  "where",  "group",
                                                   "order", "having", "union"};
                bool end = false;
                for (const char* word : ends) end = end || t[i].isWord(word);
                if (end && select) break;
            }
            list += (list.empty() ? "" : ", ") + source(from, i);
            if (i < t.size() && t[i].isSymbol(",")) {
                ++i;
                continue;
            }
            if (i < t.size()) rest = " " + source(i, t.size());
            break;
        }
        for (const std::string& target : targets)
            if (variables_.find(target) == nullptr) {
                failStatement(context_, statement, messages::undeclaredVariable(target), true);
                return finish(StatementOutcome::failed(true), false);
            }
        const auto rows = evaluate("select " + list + rest, statement);
        if (!rows) return outcome.cancelled || outcome.endedByError ? Flow::Stop : Flow::Next;
        StatementOutcome step;
        if (!rows->empty()) {
            const std::vector<RawValue>& last = rows->back();
            for (std::size_t k = 0; k < targets.size() && k < last.size(); ++k) {
                Variable& variable = *variables_.find(targets[k]);
                std::optional<std::string> value;
                if (last[k].type != SQLITE_NULL) value = rawText(last[k]);
                if (!variables_.assign(variable, value)) {
                    failStatement(context_, statement,
                                  messages::systemMessage(
                                      257, 16, 1,
                                      "Implicit conversion from datatype 'VARCHAR' to '" +
                                          asciiUpper(variable.type) +
                                          "' is not allowed.  Use the CONVERT function to run "
                                          "this query."));
                    step.error = true;
                }
            }
        }
        context_.lastRowCount = static_cast<std::int64_t>(rows->size());
        if (select) step.rowCount = static_cast<std::int64_t>(rows->size());
        return finish(step, true);
    }

    static std::string asciiUpper(std::string text) {
        for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        return text;
    }

    Flow returnFrom(const Statement& statement) {
        std::int32_t status = 0;
        if (statement.tokens.size() > 1) {
            sink_.takeError();
            const std::size_t base = statement.tokens.front().offset;
            const std::string expression = statement.text.substr(statement.tokens[1].offset - base);
            const auto rows = evaluate("select " + expression, statement);
            if (!rows) return Flow::Stop;
            if (!rows->empty() && rows->front().at(0).type != SQLITE_NULL)
                status = static_cast<std::int32_t>(
                    std::strtoll(rawText(rows->front()[0]).c_str(), nullptr, 10));
        }
        outcome.returnStatus = status;
        return Flow::Return;
    }

    ExecutionContext& context_;
    ProgramSink& sink_;
    VariableScope& variables_;

public:
    bool sinkIsProcedure_ = false;
    // The statement being finished ran under set fmtonly on.
    bool formatOnlyStatement_ = false;
};

}  // namespace

ProgramOutcome runProgram(ExecutionContext& context, const Program& program, DoneStyle style,
                          VariableScope& variables) {
    ProgramSink sink(context.sink(), style == DoneStyle::Batch);
    ResultSink* previousSink = context.redirectSink(&sink);
    VariableScope* previousVariables = context.variables;
    context.variables = &variables;
    const auto restore = onScopeExit([&] {
        context.redirectSink(previousSink);
        context.variables = previousVariables;
    });

    Runner runner(context, sink, variables);
    runner.sinkIsProcedure_ = style == DoneStyle::Procedure;
    runner.sequence(program.nodes);
    if (style == DoneStyle::Batch) {
        if (runner.outcome.cancelled)
            sink.flush(true);
        else if (sink.sentAny())
            sink.flush(false);
        else
            sink.done(TokenDone, DoneFinal, 0);
    }
    return runner.outcome;
}

}  // namespace tvr::sim
