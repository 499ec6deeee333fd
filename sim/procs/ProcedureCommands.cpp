#include "sim/procs/ProcedureCommands.h"

#include <array>

#include "sim/backup/ServerErrors.h"
#include "sim/procs/CommandSupport.h"
#include "sim/procs/CreatedProcedure.h"
#include "sim/procs/ProcedureStatements.h"
#include "sim/procs/ProcedureStore.h"
#include "sim/procs/SpTvr.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"
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
    if (test.name) sql += " AND name = " + procstore::quote(*test.name) + " COLLATE NOCASE";
    SqliteStatement query(context.database(), sql);
    while (query.step())
        if (!TransactionLog::isInternalTable(query.text(0))) return true;
    return false;
}

Statement subStatement(const Statement& whole, std::size_t begin, std::size_t end) {
    Statement part;
    part.tokens.assign(whole.tokens.begin() + static_cast<std::ptrdiff_t>(begin),
                       whole.tokens.begin() + static_cast<std::ptrdiff_t>(end));
    const std::size_t base = whole.tokens.front().offset;
    const SqlToken& first = part.tokens.front();
    const SqlToken& last = part.tokens.back();
    part.text =
        whole.text.substr(first.offset - base, last.offset + last.text.size() - first.offset);
    part.line = first.line;
    part.firstInBatch = false;
    return part;
}

class SpTvrOnServer : public SpTvrActions {
public:
    SpTvrOnServer(BackupServices& services, ExecutionContext& context, int callLine)
        : services_(services), context_(context), out_(context, "sp_TVR", callLine) {}

    void print(const std::string& text, int line) override {
        ServerMessage message = messages::print(text);
        message.procedure = "sp_TVR";
        message.line = line;
        context_.sink().message(message);
    }
    BackupResult truncateLog(const std::string& database, int line) override {
        out_.at(line);
        return services_.backup().truncateLog(database, out_);
    }
    BackupResult dumpDatabase(const std::string& database, const std::string& device,
                              int line) override {
        out_.at(line);
        return services_.backup().dumpDatabase(database, device, out_);
    }
    BackupResult dumpTransaction(const std::string& database, const std::string& device,
                                 int line) override {
        out_.at(line);
        return services_.backup().dumpTransaction(database, device, out_);
    }
    BackupResult loadDatabase(const std::string& database, const std::string& device,
                              int line) override {
        out_.at(line);
        return services_.backup().loadDatabase(database, device, out_);
    }
    BackupResult loadTransaction(const std::string& database, const std::string& device,
                                 int line) override {
        out_.at(line);
        return services_.backup().loadTransaction(database, device, out_);
    }
    void callError(const ServerError& error) override {
        refused = true;
        out_.at(1);
        out_.send(error);
    }
    bool refused = false;

private:
    BackupServices& services_;
    ExecutionContext& context_;
    StatementMessages out_;
};

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

StatementOutcome runObjectTest(ExecutionContext& context, const Statement& statement) {
    const auto test = parseObjectTest(statement.tokens);
    if (!test) return syntaxError(context, statement, statement.tokens.front().text);
    const bool holds = objectExists(context, *test) != test->negated;
    const std::size_t begin = holds ? test->thenBegin : test->elseBegin;
    const std::size_t end = holds ? test->thenEnd : test->elseEnd;
    if (begin >= end) return {};
    return dispatch(context, subStatement(statement, begin, end));
}

std::optional<StatementOutcome> runStoredProcedure(BackupServices& services,
                                                   ExecutionContext& context,
                                                   const std::string& name,
                                                   const ProcedureArguments& arguments,
                                                   const Statement& statement) {
    const auto found = findStored(context, name);
    if (!found) return std::nullopt;
    if (name != "sp_TVR")
        return runCreatedProcedure(context, name, found->text, arguments, statement);
    std::array<ProcedureArgument, SpTvrParameterCount> values;
    for (int p = 0; p < SpTvrParameterCount; ++p) {
        const std::string key = asciiLower(spTvrParameterName(p));
        auto& slot = values[static_cast<std::size_t>(p)];
        if (auto named = arguments.named.find(key); named != arguments.named.end()) {
            slot = {true, named->second};
        } else if (static_cast<std::size_t>(p) < arguments.positional.size()) {
            slot = {true, arguments.positional[static_cast<std::size_t>(p)]};
        }
    }
    SpTvrOnServer actions(services, context, statement.line);
    const SpTvrOutcome result = runSpTvr(values, actions, found->text);
    if (result.dropConnection) throw InjectedDisconnect();
    StatementOutcome outcome;
    outcome.procedure = true;
    outcome.cancelled = result.cancelled;
    if (actions.refused || !result.returnStatus) {
        outcome.error = true;
        return outcome;
    }
    outcome.returnStatus = *result.returnStatus;
    return outcome;
}

}  // namespace tvr::sim
