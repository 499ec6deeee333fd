#include "sim/statements/ExecutionContext.h"

#include "sim/statements/ColumnLengths.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/IdentityColumns.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlFunctions.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/statements/SystemCatalogs.h"

namespace tvr::sim {
namespace {

void resultText(sqlite3_context* call, const std::string& text) {
    sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

ExecutionContext& contextOf(sqlite3_context* call) {
    return *static_cast<ExecutionContext*>(sqlite3_user_data(call));
}

void getdateFunction(sqlite3_context* call, int, sqlite3_value**) {
    resultText(call, formatDateTime(contextOf(call).statementTime));
}

void dbNameFunction(sqlite3_context* call, int, sqlite3_value**) {
    resultText(call, contextOf(call).currentDatabase());
}
void userNameFunction(sqlite3_context* call, int, sqlite3_value**) {
    resultText(call, contextOf(call).userName);
}
void hostNameFunction(sqlite3_context* call, int, sqlite3_value**) {
    resultText(call, contextOf(call).hostName);
}
void appNameFunction(sqlite3_context* call, int, sqlite3_value**) {
    resultText(call, contextOf(call).applicationName);
}

// Why statements cannot use a database: offline (in a load sequence) or marked suspect.
std::optional<ServerMessage> unusable(const DatabaseInfo& info) {
    if (info.suspect) return messages::databaseSuspect(info.name);
    if (info.state != DatabaseState::Online) return messages::databaseOffline(info.name);
    return std::nullopt;
}

}  // namespace

ExecutionContext::ExecutionContext(ServerState& server, const CommandSet& commands,
                                   ResultSink& sink, int connectionId)
    : server_(server), commands_(commands), sink_(sink), connectionId_(connectionId) {
    currentDatabase_ = "master";
    server_.enterDatabase(currentDatabase_);
    statementTime = currentDateTime();
}

ExecutionContext::~ExecutionContext() {
    if (published_) server_.removeSession(connectionId_);
    db_.reset();
    server_.leaveDatabase(currentDatabase_);
}

std::optional<ServerMessage> ExecutionContext::useDatabase(const std::string& name) {
    std::optional<DatabaseInfo> info = server_.findDatabase(name);
    if (!info) return messages::noSuchDatabase(name);
    if (auto refused = unusable(*info)) return refused;
    if (name == currentDatabase_) return std::nullopt;
    db_.reset();
    attached_.clear();
    server_.enterDatabase(name);
    server_.leaveDatabase(currentDatabase_);
    currentDatabase_ = name;
    if (published_) publishSession();
    return std::nullopt;
}

SqliteDatabase& ExecutionContext::database(const std::set<std::string>& attach) {
    // Checked at every statement, not only when the handle opens: a database this connection
    // already uses can be marked suspect while it does.
    std::optional<DatabaseInfo> current = server_.findDatabase(currentDatabase_);
    if (!current) throw UnusableDatabase(messages::noSuchDatabase(currentDatabase_));
    if (auto refused = unusable(*current)) throw UnusableDatabase(*refused);
    if (!db_) {
        db_ = std::make_unique<SqliteDatabase>(server_.databasePath(currentDatabase_), false);
        attached_.clear();
        registerFunctions(*db_);
    }
    for (const std::string& name : attach) {
        if (name == currentDatabase_) continue;
        std::optional<DatabaseInfo> info = server_.findDatabase(name);
        if (!info) throw UnusableDatabase(messages::noSuchDatabase(name));
        if (auto refused = unusable(*info)) throw UnusableDatabase(*refused);
        if (attached_.count(name) != 0) continue;
        // SQLite reaches no new database inside a transaction.
        if (db_->inTransaction())
            throw UnusableDatabase(messages::unsupportedRequest(
                "a first use of database '" + name +
                "' inside a transaction (name it in a statement before it begins)"));
        SqliteStatement statement(*db_, "ATTACH DATABASE ? AS " + quoteSqlName(name));
        statement.bind(1, server_.databasePath(name)).step();
        attached_.insert(name);
    }
    return *db_;
}

void ExecutionContext::publishSession() {
    published_ = true;
    server_.updateSession({connectionId_, userName, hostName, applicationName, currentDatabase_});
}

void ExecutionContext::closeDatabase() {
    db_.reset();
    attached_.clear();
}

bool ExecutionContext::inTransaction() { return db_ && db_->inTransaction(); }

void ExecutionContext::registerFunctions(SqliteDatabase& db) {
    struct Function {
        const char* name;
        int arguments;
        void (*body)(sqlite3_context*, int, sqlite3_value**);
    };
    const Function functions[] = {
        {"getdate", 0, getdateFunction},    {"db_name", 0, dbNameFunction},
        {"user_name", 0, userNameFunction}, {"suser_name", 0, userNameFunction},
        {"host_name", 0, hostNameFunction}, {"app_name", 0, appNameFunction},
    };
    for (const Function& function : functions)
        sqlite3_create_function_v2(db.handle(), function.name, function.arguments, SQLITE_UTF8,
                                   this, function.body, nullptr, nullptr, nullptr);
    registerTextFunctions(db.handle());
    registerLengthFunctions(db.handle(), &refuseTruncation);
    registerIdentityFunction(db.handle(), &lastIdentity);
    registerCatalogFunctions(db.handle());
    for (const auto& add : commands_.sqlFunctions) add(db.handle());
}

}  // namespace tvr::sim
