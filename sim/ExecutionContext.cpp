#include "sim/ExecutionContext.h"

#include "sim/DateTime.h"
#include "sim/ServerMessages.h"
#include "sim/SqlTranslator.h"

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

void dbNameFunction(sqlite3_context* call, int, sqlite3_value**) { resultText(call, contextOf(call).currentDatabase()); }
void userNameFunction(sqlite3_context* call, int, sqlite3_value**) { resultText(call, contextOf(call).userName); }
void hostNameFunction(sqlite3_context* call, int, sqlite3_value**) { resultText(call, contextOf(call).hostName); }
void appNameFunction(sqlite3_context* call, int, sqlite3_value**) { resultText(call, contextOf(call).applicationName); }

void lenFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    sqlite3_result_int(call, sqlite3_value_bytes(arguments[0]));
}

// replicate(text, n): the text n times; NULL for NULL or a negative count.
void replicateFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL ||
        sqlite3_value_int64(arguments[1]) < 0) {
        sqlite3_result_null(call);
        return;
    }
    const unsigned char* raw = sqlite3_value_text(arguments[0]);
    std::string text(reinterpret_cast<const char*>(raw), static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    std::int64_t count = sqlite3_value_int64(arguments[1]);
    // A varchar holds at most 16384 bytes on the server; nothing longer is built here.
    const std::size_t limit = 16384;
    std::string result;
    for (std::int64_t i = 0; i < count && result.size() < limit; ++i)
        result += text;
    if (result.size() > limit)
        result.resize(limit);
    resultText(call, result);
}

// charindex(pattern, text): 1-based position of the pattern, 0 when absent.
void charindexFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    std::string pattern(reinterpret_cast<const char*>(sqlite3_value_text(arguments[0])),
                        static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    std::string text(reinterpret_cast<const char*>(sqlite3_value_text(arguments[1])),
                     static_cast<std::size_t>(sqlite3_value_bytes(arguments[1])));
    std::size_t found = pattern.empty() ? std::string::npos : text.find(pattern);
    sqlite3_result_int64(call, found == std::string::npos ? 0 : static_cast<std::int64_t>(found) + 1);
}

void strReplaceFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    for (int i = 0; i < 3; ++i)
        if (sqlite3_value_type(arguments[i]) == SQLITE_NULL) {
            sqlite3_result_null(call);
            return;
        }
    auto text = [&](int i) {
        return std::string(reinterpret_cast<const char*>(sqlite3_value_text(arguments[i])),
                           static_cast<std::size_t>(sqlite3_value_bytes(arguments[i])));
    };
    std::string source = text(0), from = text(1), to = text(2), result;
    if (from.empty()) {
        resultText(call, source);
        return;
    }
    std::size_t position = 0, found;
    while ((found = source.find(from, position)) != std::string::npos) {
        result += source.substr(position, found - position) + to;
        position = found + from.size();
    }
    resultText(call, result + source.substr(position));
}

} // namespace

ExecutionContext::ExecutionContext(ServerState& server, const CommandSet& commands, ResultSink& sink, int connectionId)
    : server_(server), commands_(commands), sink_(sink), connectionId_(connectionId) {
    currentDatabase_ = "master";
    server_.enterDatabase(currentDatabase_);
    statementTime = currentDateTime();
}

ExecutionContext::~ExecutionContext() {
    db_.reset();
    server_.leaveDatabase(currentDatabase_);
}

std::optional<ServerMessage> ExecutionContext::useDatabase(const std::string& name) {
    std::optional<DatabaseInfo> info = server_.findDatabase(name);
    if (!info)
        return messages::noSuchDatabase(name);
    if (info->state != DatabaseState::Online)
        return messages::databaseOffline(name);
    if (name == currentDatabase_)
        return std::nullopt;
    db_.reset();
    attached_.clear();
    server_.enterDatabase(name);
    server_.leaveDatabase(currentDatabase_);
    currentDatabase_ = name;
    return std::nullopt;
}

SqliteDatabase& ExecutionContext::database(const std::set<std::string>& attach) {
    if (!db_) {
        std::optional<DatabaseInfo> info = server_.findDatabase(currentDatabase_);
        if (!info)
            throw UnusableDatabase(messages::noSuchDatabase(currentDatabase_));
        if (info->state != DatabaseState::Online)
            throw UnusableDatabase(messages::databaseOffline(currentDatabase_));
        db_ = std::make_unique<SqliteDatabase>(server_.databasePath(currentDatabase_), false);
        attached_.clear();
        registerFunctions(*db_);
    }
    for (const std::string& name : attach) {
        if (name == currentDatabase_ || attached_.count(name) != 0)
            continue;
        std::optional<DatabaseInfo> info = server_.findDatabase(name);
        if (!info)
            throw UnusableDatabase(messages::noSuchDatabase(name));
        if (info->state != DatabaseState::Online)
            throw UnusableDatabase(messages::databaseOffline(name));
        SqliteStatement statement(*db_, "ATTACH DATABASE ? AS " + quoteSqlName(name));
        statement.bind(1, server_.databasePath(name)).step();
        attached_.insert(name);
    }
    return *db_;
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
        {"getdate", 0, getdateFunction},   {"db_name", 0, dbNameFunction},     {"user_name", 0, userNameFunction},
        {"suser_name", 0, userNameFunction}, {"host_name", 0, hostNameFunction}, {"app_name", 0, appNameFunction},
        {"len", 1, lenFunction},           {"datalength", 1, lenFunction},     {"char_length", 1, lenFunction},
        {"replicate", 2, replicateFunction}, {"charindex", 2, charindexFunction}, {"str_replace", 3, strReplaceFunction},
    };
    for (const Function& function : functions)
        sqlite3_create_function_v2(db.handle(), function.name, function.arguments, SQLITE_UTF8, this, function.body,
                                   nullptr, nullptr, nullptr);
}

} // namespace tvr::sim
