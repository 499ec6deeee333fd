#include "sim/statements/BatchRunner.h"

#include "sim/statements/DateTime.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/storage/Sqlite.h"

namespace tvr::sim {

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
    std::vector<Statement> statements;
    try {
        statements = context.commands().splitter.split(text);
    } catch (const SqlLexError& error) {
        ServerMessage message = messages::unclosedQuote(error.near);
        message.line = error.line;
        sink.message(message);
        return StatementOutcome::failed();
    }
    StatementOutcome outcome;
    for (const Statement& statement : statements) {
        if (sink.cancelRequested()) {
            outcome.cancelled = true;
            return outcome;
        }
        const StatementOutcome step = runStatement(context, statement);
        if (step.cancelled) return step;
        std::uint16_t status = DoneMore;
        if (step.error) status |= DoneError;
        if (step.rowCount) status |= DoneCount;
        if (context.inTransaction()) status |= DoneInTransaction;
        if (step.returnStatus) sink.returnStatus(*step.returnStatus);
        sink.done(step.procedure ? TokenDoneProc : TokenDoneInProc, status,
                  static_cast<std::int32_t>(step.rowCount.value_or(0)));
        outcome.error = outcome.error || step.error;
        if (step.endBatch) break;
    }
    return outcome;
}

BatchResult runBatch(ExecutionContext& context, const std::string& batch) {
    ResultSink& sink = context.sink();
    context.currentBatch = batch;
    const CommandSet& commands = context.commands();
    std::vector<Statement> statements;
    try {
        statements = commands.splitter.split(batch);
    } catch (const SqlLexError& error) {
        ServerMessage message = messages::unclosedQuote(error.near);
        message.line = error.line;
        sink.message(message);
        sink.done(TokenDone, DoneError, 0);
        return BatchResult::Completed;
    }
    if (statements.empty()) {
        sink.done(TokenDone, DoneFinal, 0);
        return BatchResult::Completed;
    }
    for (std::size_t i = 0; i < statements.size(); ++i) {
        const Statement& statement = statements[i];
        if (sink.cancelRequested()) return BatchResult::Cancelled;
        StatementOutcome outcome = runStatement(context, statement);
        if (outcome.cancelled) return BatchResult::Cancelled;
        const bool last = i + 1 == statements.size() || outcome.endBatch;
        std::uint16_t status = last ? DoneFinal : DoneMore;
        if (outcome.error) status |= DoneError;
        if (outcome.rowCount) status |= DoneCount;
        if (context.inTransaction()) status |= DoneInTransaction;
        if (outcome.returnStatus) sink.returnStatus(*outcome.returnStatus);
        auto count = static_cast<std::int32_t>(outcome.rowCount.value_or(0));
        sink.done(outcome.procedure ? TokenDoneProc : TokenDone, status, count);
        if (last) break;
    }
    return BatchResult::Completed;
}

}  // namespace tvr::sim
