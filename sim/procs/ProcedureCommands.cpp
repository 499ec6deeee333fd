#include "sim/procs/ProcedureCommands.h"

#include "sim/backup/ServerErrors.h"
#include "sim/procs/CommandSupport.h"
#include "sim/procs/CreatedProcedure.h"
#include "sim/procs/ProcedureStatements.h"
#include "sim/procs/ProcedureStore.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/Interpreter.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"
#include "sim/statements/WireLiterals.h"
#include "sim/storage/TransactionLog.h"

namespace tvr::sim {
namespace {

// Runs SQL that changes the current database and records it in the database's log, as the
// server's own statements do.
void changeDatabase(ExecutionContext& context, const std::string& sql) {
    SqliteDatabase& db = context.database();
    const bool own = !db.inTransaction();
    if (own) db.execute("BEGIN IMMEDIATE");
    try {
        db.execute(sql);
        if (!isSystemDatabase(context.currentDatabase()))
            TransactionLog::append(db, sql, formatDateTime(context.statementTime));
        if (own) db.execute("COMMIT");
    } catch (...) {
        if (own) db.execute("ROLLBACK");
        throw;
    }
}

bool objectExists(ExecutionContext& context, const ObjectTest& test) {
    sqlite3* db = context.database().handle();
    const std::string types = test.type.value_or("PUV");
    auto wants = [&](char type) { return types.find(type) != std::string::npos; };
    if (wants('P')) {
        if (test.name ? procstore::exists(db, *test.name) : false) return true;
    }
    const bool tables = wants('U'), views = wants('V');
    if (!tables && !views) return false;
    std::string sql = "SELECT name FROM sqlite_master WHERE type IN (" +
                      std::string(tables ? "'table'" : "''") + ", " + (views ? "'view'" : "''") +
                      ")";
    if (test.name) sql += " AND name = " + quotedLiteral(*test.name) + " COLLATE NOCASE";
    SqliteStatement query(context.database(), sql);
    while (query.step())
        if (!TransactionLog::isInternalTable(query.text(0))) return true;
    return false;
}

}  // namespace

StatementOutcome dispatch(ExecutionContext& context, const Statement& statement) {
    const StatementHandler* handler = context.commands().find(statement);
    if (!handler) return syntaxError(context, statement, statement.tokens.front().text);
    return handler->run(context, statement);
}

StatementOutcome runCreateProcedure(ExecutionContext& context, const Statement& statement) {
    const auto name = createProcedureName(statement.tokens);
    if (!name) return syntaxError(context, statement, statement.tokens.back().text);
    if (!statement.firstInBatch)
        return failStatement(context, statement, errors::notFirstInBatch(), true);
    if (procstore::exists(context.database().handle(), *name))
        return failStatement(context, statement, messages::objectExists(*name));
    // A procedure whose text cannot be run here is refused now, not when it is called.
    if (std::optional<std::string> why = unrunnableReason(context, context.currentBatch))
        return failStatement(context, statement, errors::procedureNotCreated(*name, *why));
    // The text as sent: the whole batch, which a create procedure has to itself.
    changeDatabase(context, procstore::createSql(*name, context.currentBatch,
                                                 formatDateTime(context.statementTime)));
    return {};
}

StatementOutcome runDropProcedure(ExecutionContext& context, const Statement& statement) {
    const auto names = dropProcedureNames(statement.tokens);
    if (!names || names->empty())
        return syntaxError(context, statement, statement.tokens.back().text);
    StatementOutcome outcome;
    for (const std::string& name : *names) {
        if (!procstore::exists(context.database().handle(), name)) {
            failStatement(context, statement, errors::cannotDropProcedure(name));
            outcome.error = true;
            continue;
        }
        changeDatabase(context, procstore::dropSql(name));
    }
    return outcome;
}

std::optional<bool> testObjectCondition(ExecutionContext& context,
                                        const std::vector<SqlToken>& condition) {
    // The test reads a whole if statement; a body stands in for the one the caller runs.
    std::vector<SqlToken> tokens;
    SqlToken word;
    word.text = "if";
    tokens.push_back(word);
    tokens.insert(tokens.end(), condition.begin(), condition.end());
    word.text = "print";
    tokens.push_back(word);
    const auto test = parseObjectTest(tokens);
    if (!test) return std::nullopt;
    return objectExists(context, *test) != test->negated;
}

std::optional<StatementOutcome> runStoredProcedure(BackupServices&, ExecutionContext& context,
                                                   const std::string& name,
                                                   const ProcedureArguments& arguments,
                                                   const Statement& statement) {
    const auto found = findStored(context, name);
    if (!found) return std::nullopt;
    return runCreatedProcedure(context, name, found->text, arguments, statement);
}

}  // namespace tvr::sim
