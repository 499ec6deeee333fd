#include "sim/statements/BatchRunner.h"

#include "sim/statements/DateTime.h"
#include "sim/statements/FunctionCheck.h"
#include "sim/statements/Interpreter.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/storage/Sqlite.h"

#include <mutex>

namespace tvr::sim {
namespace {

// The 14216 a batch gets for a call of a function nobody knows, found before anything of it
// runs; nothing when every call is known (or the functions cannot be listed: then SQLite
// refuses the call when its statement runs).
std::optional<ServerMessage> unknownFunctionRefusal(ExecutionContext& context,
                                                    const Program& program) {
    // Every connection knows the same functions: they are listed once.
    static std::mutex mutex;
    static std::optional<std::set<std::string>> known;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!known) {
            try {
                known = knownFunctions(context.database().handle());
            } catch (const std::exception&) {
                return std::nullopt;
            }
        }
    }
    const std::optional<SqlToken> call = unknownFunctionCall(program, context.commands(), *known);
    if (!call) return std::nullopt;
    ServerMessage message = messages::functionNotFound(call->text);
    message.line = call->line;
    return message;
}

}  // namespace

StatementOutcome runStatement(ExecutionContext& context, const Statement& statement) {
    context.statementTime = currentDateTime();
    const StatementHandler* handler = context.commands().find(statement);
    try {
        if (handler == nullptr)
            return failStatement(context, statement,
                                 messages::syntaxError(statement.tokens.front().text), true);
        return handler->run(context, statement);
    } catch (const UnusableDatabase& unusable) {
        return failStatement(context, statement, unusable.message);
    } catch (const SqliteError& error) {
        return failStatement(context, statement, messages::internalError(error.what()));
    }
}

StatementOutcome runNestedBatch(ExecutionContext& context, const std::string& text) {
    ResultSink& sink = context.sink();
    std::variant<Program, ProgramRefusal> parsed;
    try {
        parsed = parseProgram(text, 0, text.size(), context.commands(), true);
    } catch (const SqlLexError& error) {
        ServerMessage message = messages::unclosedQuote(error.near);
        message.line = error.line;
        sink.message(message);
        return StatementOutcome::failed();
    }
    if (const auto* refusal = std::get_if<ProgramRefusal>(&parsed)) {
        sink.message(refusal->message);
        return StatementOutcome::failed();
    }
    if (std::optional<ServerMessage> refusal =
            unknownFunctionRefusal(context, std::get<Program>(parsed))) {
        sink.message(*refusal);
        return StatementOutcome::failed();
    }
    // Its own variables: a text run this way does not see those of whoever runs it.
    VariableScope variables;
    const ProgramOutcome ran =
        runProgram(context, std::get<Program>(parsed), DoneStyle::Procedure, variables);
    StatementOutcome outcome;
    outcome.cancelled = ran.cancelled;
    outcome.error = ran.error;
    return outcome;
}

BatchResult runBatch(ExecutionContext& context, const std::string& batch, VariableScope variables) {
    ResultSink& sink = context.sink();
    context.currentBatch = batch;
    std::variant<Program, ProgramRefusal> parsed;
    try {
        parsed = parseProgram(batch, 0, batch.size(), context.commands(), true);
    } catch (const SqlLexError& error) {
        ServerMessage message = messages::unclosedQuote(error.near);
        message.line = error.line;
        sink.message(message);
        sink.done(TokenDone, DoneError, 0);
        return BatchResult::Completed;
    }
    // A statement the server cannot compile: nothing of the batch runs.
    if (const auto* refusal = std::get_if<ProgramRefusal>(&parsed)) {
        sink.message(refusal->message);
        sink.done(TokenDone, DoneError, 0);
        return BatchResult::Completed;
    }
    if (std::optional<ServerMessage> refusal =
            unknownFunctionRefusal(context, std::get<Program>(parsed))) {
        sink.message(*refusal);
        sink.done(TokenDone, DoneError, 0);
        return BatchResult::Completed;
    }
    const ProgramOutcome ran =
        runProgram(context, std::get<Program>(parsed), DoneStyle::Batch, variables);
    return ran.cancelled ? BatchResult::Cancelled : BatchResult::Completed;
}

}  // namespace tvr::sim
