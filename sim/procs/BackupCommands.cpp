#include "sim/procs/BackupCommands.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "sim/DateTime.h"
#include "sim/ServerMessages.h"
#include "sim/TransactionLog.h"
#include "sim/procs/BackupStatements.h"
#include "sim/procs/CreatedProcedure.h"
#include "sim/procs/ProcedureStatements.h"
#include "sim/procs/ProcedureStore.h"
#include "sim/procs/SpTvr.h"
#include "sim/procs/SystemProcedures.h"

namespace tvr::sim {
namespace {

// Thrown to close the client's connection without an answer (an injected fault); the session
// ends the connection on any exception that reaches it.
class InjectedDisconnect : public std::runtime_error {
public:
    InjectedDisconnect()
        : std::runtime_error("injected fault: connection dropped during a dump or load") {}
};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Messages of a statement, marked with the procedure and the line they come from.
class StatementMessages : public MessageSink {
public:
    StatementMessages(ExecutionContext& context, std::string procedure, int line)
        : context_(context), procedure_(std::move(procedure)), line_(line) {}
    void send(const ServerMessage& message) override {
        ServerMessage copy = message;
        copy.procedure = procedure_;
        copy.line = line_;
        context_.sink().message(copy);
    }
    void at(int line) { line_ = line; }
    bool cancelRequested() override { return context_.sink().cancelRequested(); }

private:
    ExecutionContext& context_;
    std::string procedure_;
    int line_;
};

StatementOutcome syntaxError(ExecutionContext& context, const Statement& statement,
                             const std::string& near) {
    return failStatement(context, statement, messages::syntaxError(near), true);
}

void sendResult(ExecutionContext& context, const ResultSet& result) {
    context.sink().rowFormat(result.columns);
    for (const Row& row : result.rows) context.sink().row(row);
    context.sink().done(TokenDoneInProc, DoneMore | DoneCount,
                        static_cast<std::int32_t>(result.rows.size()));
}

// A read-only look into another database's file, for procedures kept there.
class Peek {
public:
    explicit Peek(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        } else {
            sqlite3_busy_timeout(db_, 30000);
        }
    }
    ~Peek() { sqlite3_close(db_); }
    Peek(const Peek&) = delete;
    Peek& operator=(const Peek&) = delete;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

struct StoredProcedure {
    std::string database;
    std::string text;
};

// The current database first; a name starting with sp_ also in sybsystemprocs, then master.
std::optional<StoredProcedure> findStored(ExecutionContext& context, const std::string& name) {
    const std::string current = context.currentDatabase();
    if (auto text = procstore::text(context.database().handle(), name))
        return StoredProcedure{current, *text};
    if (lower(name).rfind("sp_", 0) != 0) return std::nullopt;
    for (const char* database : {"sybsystemprocs", "master"}) {
        if (current == database || !context.server().findDatabase(database)) continue;
        Peek peek(context.server().databasePath(database));
        if (!peek.handle()) continue;
        if (auto text = procstore::text(peek.handle(), name))
            return StoredProcedure{database, *text};
    }
    return std::nullopt;
}

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

StatementOutcome dispatch(ExecutionContext& context, const Statement& statement) {
    const StatementHandler* handler = context.commands().find(statement);
    if (!handler) return syntaxError(context, statement, statement.tokens.front().text);
    return handler->run(context, statement);
}

// --- the statements ------------------------------------------------------------------------

StatementOutcome runBackupStatement(BackupServices& services, ExecutionContext& context,
                                    const Statement& statement) {
    std::string near;
    const auto parsed = parseBackupStatement(statement.tokens, near);
    if (!parsed) return syntaxError(context, statement, near);
    StatementMessages out(context, "", statement.line);
    BackupServer& backup = services.backup();
    BackupResult result;
    switch (parsed->kind) {
        case BackupStatement::Kind::DumpDatabase:
            result = backup.dumpDatabase(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::DumpTransaction:
            result = backup.dumpTransaction(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::TruncateLog:
            result = backup.truncateLog(parsed->database, out);
            break;
        case BackupStatement::Kind::LoadDatabase:
            result = backup.loadDatabase(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::LoadTransaction:
            result = backup.loadTransaction(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::Online:
            result = backup.onlineDatabase(parsed->database, out);
            break;
    }
    if (result.dropConnection) throw InjectedDisconnect();
    StatementOutcome outcome;
    outcome.cancelled = result.cancelled;
    outcome.error = result.error != 0;
    return outcome;
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

StatementOutcome runFault(BackupServices& services, ExecutionContext& context,
                          const Statement& statement) {
    std::string spec;
    for (std::size_t i = 2; i < statement.tokens.size(); ++i) {
        const SqlToken& t = statement.tokens[i];
        if (!spec.empty()) spec += ' ';
        spec += t.kind == SqlToken::Kind::String ? t.value : t.text;
    }
    std::string why;
    if (!services.faults().arm(spec, why))
        return failStatement(context, statement, errors::badFault(why));
    ServerMessage done = messages::print("Fault armed: " + spec + ".");
    done.line = statement.line;
    context.sink().message(done);
    return {};
}

StatementOutcome runStall(BackupServices& services, ExecutionContext& context,
                          const Statement& statement) {
    const int seconds = services.faults().takeStallSeconds();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (context.sink().cancelRequested()) {
            StatementOutcome cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return dispatch(context, statement);
}

// --- sp_TVR --------------------------------------------------------------------------------

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
        const std::string key = lower(spTvrParameterName(p));
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

// --- system procedures ---------------------------------------------------------------------

std::int32_t spHelpserver(BackupServices& services, ExecutionContext& context,
                          const ProcedureArguments& arguments) {
    std::optional<std::string> backupName;
    if (services.options().backupEntry) backupName = services.backup().networkName();
    ResultSet result = helpServerResult(context.server().serverName(), backupName);
    if (auto wanted = arguments.get("@server", 0)) {
        std::erase_if(result.rows, [&](const Row& row) {
            return lower(std::get<std::string>(row[0])) != lower(*wanted);
        });
    }
    sendResult(context, result);
    return 0;
}

std::int32_t spConfigure(BackupServices& services, ExecutionContext& context,
                         const ProcedureArguments& arguments) {
    static const std::string kParameter = "xp_cmdshell context";
    const auto name = arguments.get("@configname", 0);
    if (name && lower(kParameter).find(lower(*name)) == std::string::npos) {
        ServerMessage message = errors::noSuchOption(*name);
        message.procedure = "sp_configure";
        context.sink().message(message);
        return 1;
    }
    if (name) {
        if (auto value = arguments.get("@configvalue", 1)) {
            try {
                services.setXpCmdshellContext(std::stoi(*value));
            } catch (const std::exception&) {
                ServerMessage message = errors::badConversion();
                message.procedure = "sp_configure";
                context.sink().message(message);
                return 1;
            }
        }
    }
    sendResult(context, configureResult(kParameter, 1, services.xpCmdshellContext()));
    return 0;
}

std::int32_t xpCmdshell(BackupServices& services, ExecutionContext& context,
                        const ProcedureArguments& arguments) {
    const auto command = arguments.get("@command", 0);
    ShellOutcome outcome = runShellCommand(command.value_or(""), services.backup());
    if (outcome.output) sendResult(context, *outcome.output);
    if (outcome.error) {
        ServerMessage message = *outcome.error;
        message.procedure = "xp_cmdshell";
        context.sink().message(message);
    }
    return outcome.status;
}

std::int32_t spHelptext(ExecutionContext& context, const ProcedureArguments& arguments) {
    const auto name = arguments.get("@objname", 0);
    const auto found = name ? findStored(context, *name) : std::nullopt;
    if (!found) {
        ServerMessage message = errors::noTextForObject();
        message.procedure = "sp_helptext";
        context.sink().message(message);
        return 1;
    }
    for (const ResultSet& result : helpTextResults(found->text)) sendResult(context, result);
    return 0;
}

}  // namespace

BackupServices::BackupServices(ServerState& server, const ExtensionOptions& options)
    : server_(server), options_(options), xpCmdshellContext_(options.xpCmdshellContext) {
    BackupServerOptions backup;
    backup.serverName = server.serverName();
    backup.networkName = options.backupName.value_or(server.serverName() + "_BS");
    backup.running = options.backupRunning;
    backup.ioRateMBps = options.ioRateMBps;
    backup.scratchFolder = std::filesystem::path(server.options().dataDir) / "backup-scratch";
    backup_ = std::make_unique<BackupServer>(backup, *this, faults_);
    std::string why;
    for (const std::string& fault : options.faults) faults_.arm(fault, why);
}

std::optional<std::filesystem::path> BackupServices::databaseFile(const std::string& name) {
    if (!server_.findDatabase(name)) return std::nullopt;
    return server_.databasePath(name);
}

int BackupServices::usersOf(const std::string& name) { return server_.usersOf(name); }

bool BackupServices::isLoading(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info && info->state == DatabaseState::Loading;
}

void BackupServices::setLoading(const std::string& name, bool loading) {
    server_.setDatabaseState(name, loading ? DatabaseState::Loading : DatabaseState::Online);
}

void addBackupCommands(CommandSet& commands, BackupServices& services) {
    commands.splitter.addStatementKeyword("emulator");
    // Added first, so that they take their statements before the ordinary ones; the stall goes
    // first of all.
    commands.addFirst({"emulator fault",
                       [](const Statement& s) {
                           return s.startsWith({"emulator", "fault"});
                       },
                       [&services](ExecutionContext& c, const Statement& s) {
                           return runFault(services, c, s);
                       }});
    commands.addFirst({"object existence test",
                       [](const Statement& s) { return parseObjectTest(s.tokens).has_value(); },
                       runObjectTest});
    commands.addFirst({"drop procedure",
                       [](const Statement& s) { return dropProcedureNames(s.tokens).has_value(); },
                       runDropProcedure});
    commands.addFirst({"create procedure",
                       [](const Statement& s) { return createProcedureName(s.tokens).has_value(); },
                       runCreateProcedure});
    commands.addFirst({"dump and load",
                       [](const Statement& s) { return isBackupStatement(s.tokens); },
                       [&services](ExecutionContext& c, const Statement& s) {
                           return runBackupStatement(services, c, s);
                       }});
    commands.addFirst({"stall",
                       [&services](const Statement&) { return services.faults().stallArmed(); },
                       [&services](ExecutionContext& c, const Statement& s) {
                           return runStall(services, c, s);
                       }});

    commands.storedProcedures = [&services](ExecutionContext& c, const std::string& name,
                                            const ProcedureArguments& a, const Statement& s) {
        return runStoredProcedure(services, c, name, a, s);
    };
    commands.addProcedure("sp_helpserver",
                          [&services](ExecutionContext& c, const ProcedureArguments& a,
                                      const Statement&) { return spHelpserver(services, c, a); });
    commands.addProcedure("sp_configure",
                          [&services](ExecutionContext& c, const ProcedureArguments& a,
                                      const Statement&) { return spConfigure(services, c, a); });
    commands.addProcedure("xp_cmdshell",
                          [&services](ExecutionContext& c, const ProcedureArguments& a,
                                      const Statement&) { return xpCmdshell(services, c, a); });
    commands.addProcedure("sp_helptext", [](ExecutionContext& c, const ProcedureArguments& a,
                                            const Statement&) { return spHelptext(c, a); });
}

}  // namespace tvr::sim
