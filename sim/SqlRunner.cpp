#include "sim/SqlRunner.h"

#include "sim/DateTime.h"
#include "sim/ServerMessages.h"
#include "sim/SqlTranslator.h"
#include "sim/TransactionLog.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <limits>
#include <variant>

namespace tvr::sim {
namespace {

std::string lowerText(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The column a declared type stands for; nothing for a type that says nothing (no column).
std::optional<Column> columnForDeclaredType(const char* declared) {
    if (declared == nullptr) return std::nullopt;
    std::string type = lowerText(declared);
    Column column;
    int length = -1;
    std::size_t paren = type.find('(');
    if (paren != std::string::npos) length = std::atoi(type.c_str() + paren + 1);
    std::string base = type.substr(0, paren);
    while (!base.empty() && std::isspace(static_cast<unsigned char>(base.back()))) base.pop_back();
    if (base.find("char") != std::string::npos || base == "text" || base == "sysname") {
        column.kind = (base == "char" || base == "nchar" || base == "unichar")
                          ? ColumnKind::Char
                          : ColumnKind::VarChar;
        column.length = base == "sysname" ? 30 : length;
    } else if (base == "int" || base == "integer") {
        column.kind = ColumnKind::Int;
    } else if (base == "smallint") {
        column.kind = ColumnKind::SmallInt;
    } else if (base == "tinyint" || base == "bit") {
        column.kind = ColumnKind::TinyInt;
    } else if (base == "bigint") {
        column.kind = ColumnKind::BigInt;
    } else if (base == "float" || base == "real" || base == "double" ||
               base == "double precision" || base == "numeric" || base == "decimal" ||
               base == "money" || base == "smallmoney") {
        column.kind = ColumnKind::Float;
    } else if (base == "datetime" || base == "smalldatetime" || base == "date" ||
               base == "bigdatetime") {
        column.kind = ColumnKind::DateTime;
    } else {
        return std::nullopt;
    }
    return column;
}

// A bare name as a heading: what an un-aliased column reference gives, never a number.
bool looksLikeName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#' &&
            c != '@')
            return false;
    return true;
}

// What the statement says of one item of its select list.
struct SelectItem {
    bool getdate = false;  // getdate(), alone or with an alias: SQLite sees only a text there
    bool aliased = false;  // a heading given explicitly: `expr as name`, `expr name`, any quoting
};

bool isNameToken(const SqlToken& token) {
    return token.kind == SqlToken::Kind::Word || token.kind == SqlToken::Kind::String ||
           token.kind == SqlToken::Kind::BracketName;
}

// A word that ends an expression rather than naming its column.
bool endsExpression(const SqlToken& token) {
    static const char* const words[] = {"end",  "null", "and",  "or",      "not",
                                        "is",   "in",   "like", "between", "else",
                                        "then", "when", "case", "escape"};
    for (const char* word : words)
        if (token.isWord(word)) return true;
    return false;
}

bool hasAlias(const std::vector<const SqlToken*>& item) {
    if (item.size() < 2 || !isNameToken(*item.back())) return false;
    const SqlToken& before = *item[item.size() - 2];
    if (before.isWord("as")) return true;
    if (item.back()->kind == SqlToken::Kind::Word && endsExpression(*item.back())) return false;
    return isNameToken(before) || before.kind == SqlToken::Kind::Number || before.isSymbol(")");
}

// The items of the statement's select list, in order. Empty when they cannot be matched to
// columns (a * among them).
std::vector<SelectItem> selectItems(const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    std::size_t i = 0;
    while (i < tokens.size() && !tokens[i].isWord("select")) ++i;
    if (i == tokens.size()) return {};
    ++i;
    if (i < tokens.size() && (tokens[i].isWord("distinct") || tokens[i].isWord("all"))) ++i;
    if (i + 1 < tokens.size() && tokens[i].isWord("top")) i += 2;
    std::vector<SelectItem> items;
    std::vector<const SqlToken*> item;
    int depth = 0;
    auto finish = [&] {
        SelectItem settled;
        settled.getdate =
            item.size() >= 3 && item[0]->isWord("getdate") && item[1]->isSymbol("(") &&
            item[2]->isSymbol(")") &&
            (item.size() == 3 || (item.size() == 4 && item[3]->kind != SqlToken::Kind::Symbol) ||
             (item.size() == 5 && item[3]->isWord("as")));
        settled.aliased = hasAlias(item);
        items.push_back(settled);
        item.clear();
    };
    static const char* const ends[] = {"from",  "where", "group", "order",
                                       "union", "into",  "having"};
    for (; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (depth == 0) {
            bool end = false;
            for (const char* word : ends) end = end || token.isWord(word);
            if (end) break;
            if (token.isSymbol(",")) {
                finish();
                continue;
            }
            if (token.isSymbol("*") && (item.empty() || item.back()->isSymbol("."))) return {};
        }
        if (token.isSymbol("("))
            ++depth;
        else if (token.isSymbol(")"))
            --depth;
        item.push_back(&token);
    }
    finish();
    return items;
}

// One value as SQLite returned it.
struct RawValue {
    int type = SQLITE_NULL;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
};

RawValue readValue(sqlite3_stmt* statement, int column) {
    RawValue value;
    value.type = sqlite3_column_type(statement, column);
    switch (value.type) {
        case SQLITE_INTEGER:
            value.integer = sqlite3_column_int64(statement, column);
            break;
        case SQLITE_FLOAT:
            value.real = sqlite3_column_double(statement, column);
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const unsigned char* text = sqlite3_column_text(statement, column);
            if (text != nullptr)
                value.text.assign(
                    reinterpret_cast<const char*>(text),
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
            value.type = SQLITE_TEXT;
            break;
        }
        default:
            break;
    }
    return value;
}

std::string rawText(const RawValue& value) {
    switch (value.type) {
        case SQLITE_INTEGER:
            return std::to_string(value.integer);
        case SQLITE_FLOAT:
            return valueText(Value{value.real});
        case SQLITE_TEXT:
            return value.text;
        default:
            return {};
    }
}

std::optional<std::int64_t> rawInteger(const RawValue& value) {
    if (value.type == SQLITE_INTEGER) return value.integer;
    if (value.type == SQLITE_FLOAT && std::nearbyint(value.real) == value.real &&
        std::fabs(value.real) < 9e18)
        return static_cast<std::int64_t>(value.real);
    if (value.type == SQLITE_TEXT) {
        char* end = nullptr;
        errno = 0;
        long long number = std::strtoll(value.text.c_str(), &end, 10);
        if (!value.text.empty() && end != nullptr && *end == '\0' && errno == 0) return number;
    }
    return std::nullopt;
}

std::optional<double> rawReal(const RawValue& value) {
    if (value.type == SQLITE_FLOAT) return value.real;
    if (value.type == SQLITE_INTEGER) return static_cast<double>(value.integer);
    if (value.type == SQLITE_TEXT) {
        char* end = nullptr;
        double number = std::strtod(value.text.c_str(), &end);
        if (!value.text.empty() && end != nullptr && *end == '\0') return number;
    }
    return std::nullopt;
}

bool isInteger(ColumnKind kind) {
    return kind == ColumnKind::Int || kind == ColumnKind::SmallInt || kind == ColumnKind::TinyInt ||
           kind == ColumnKind::BigInt;
}

bool inRange(ColumnKind kind, std::int64_t number) {
    switch (kind) {
        case ColumnKind::TinyInt:
            return number >= 0 && number <= 255;
        case ColumnKind::SmallInt:
            return number >= -32768 && number <= 32767;
        case ColumnKind::Int:
            return number >= std::numeric_limits<std::int32_t>::min() &&
                   number <= std::numeric_limits<std::int32_t>::max();
        default:
            return true;
    }
}

const char* kindName(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::TinyInt:
            return "TINYINT";
        case ColumnKind::SmallInt:
            return "SMALLINT";
        case ColumnKind::Int:
            return "INT";
        case ColumnKind::BigInt:
            return "BIGINT";
        case ColumnKind::Float:
            return "FLOAT";
        case ColumnKind::DateTime:
            return "DATETIME";
        default:
            return "VARCHAR";
    }
}

// The value as the column's kind sends it; nothing when it does not fit. Texts longer than a
// short column are cut to its length, as the server keeps no more in such a column.
std::optional<Value> convertValue(const Column& column, const RawValue& value) {
    if (value.type == SQLITE_NULL) return Value{};
    if (isInteger(column.kind)) {
        std::optional<std::int64_t> number = rawInteger(value);
        if (!number || !inRange(column.kind, *number)) return std::nullopt;
        return Value{*number};
    }
    if (column.kind == ColumnKind::Float) {
        std::optional<double> number = rawReal(value);
        if (!number) return std::nullopt;
        return Value{*number};
    }
    if (column.kind == ColumnKind::DateTime) {
        std::optional<DateTimeValue> datetime =
            value.type == SQLITE_TEXT ? parseDateTime(value.text) : std::optional<DateTimeValue>();
        if (!datetime) return std::nullopt;
        return Value{*datetime};
    }
    std::string text = rawText(value);
    if (column.length > 0 && column.length <= 255 &&
        text.size() > static_cast<std::size_t>(column.length))
        text.resize(static_cast<std::size_t>(column.length));
    return Value{std::move(text)};
}

// Settles each column's kind and length from the declared types and the values at hand,
// widening an integer column whose values do not fit and falling back to varchar for values of
// another kind. `openEnded`: more rows follow that were not seen, so short text columns without
// a declared length are made 255 characters wide.
std::vector<Row> typeColumns(std::vector<Column>& columns, const std::vector<bool>& declared,
                             const std::vector<std::vector<RawValue>>& rawRows, bool openEnded) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        Column& column = columns[c];
        if (!declared[c]) {
            // Computed: the values decide. Integers, then floats, else text.
            bool allIntegers = true, allNumbers = true, any = false;
            for (const auto& raw : rawRows) {
                const RawValue& value = raw[c];
                if (value.type == SQLITE_NULL) continue;
                any = true;
                allIntegers = allIntegers && value.type == SQLITE_INTEGER;
                allNumbers =
                    allNumbers && (value.type == SQLITE_INTEGER || value.type == SQLITE_FLOAT);
            }
            if (column.kind != ColumnKind::DateTime)
                column.kind = !any          ? ColumnKind::VarChar
                              : allIntegers ? ColumnKind::Int
                              : allNumbers  ? ColumnKind::Float
                                            : ColumnKind::VarChar;
            column.length = -1;
        }
        const bool text = column.kind == ColumnKind::Char || column.kind == ColumnKind::VarChar;
        bool fits = true;
        std::int64_t low = 0, high = 0;
        for (const auto& raw : rawRows) {
            const RawValue& value = raw[c];
            if (value.type == SQLITE_NULL || text) continue;
            if (isInteger(column.kind)) {
                if (auto number = rawInteger(value)) {
                    low = std::min(low, *number);
                    high = std::max(high, *number);
                } else {
                    fits = false;
                }
            } else {
                fits = fits && convertValue(column, value).has_value();
            }
        }
        if (!fits) {
            column.kind = ColumnKind::VarChar;
            column.length = -1;
        }
        for (ColumnKind wider : {ColumnKind::SmallInt, ColumnKind::Int, ColumnKind::BigInt})
            if (isInteger(column.kind) &&
                (!inRange(column.kind, low) || !inRange(column.kind, high)))
                column.kind = wider;
        if (column.kind == ColumnKind::Char || column.kind == ColumnKind::VarChar) {
            std::size_t longest = 1;
            for (const auto& raw : rawRows) longest = std::max(longest, rawText(raw[c]).size());
            if (column.length < 0 && openEnded)
                column.length = static_cast<int>(std::max<std::size_t>(longest, 255));
            else if (column.length < static_cast<int>(longest) &&
                     (column.length < 0 || !declared[c] || !fits))
                column.length = static_cast<int>(longest);
        }
    }
    std::vector<Row> rows;
    rows.reserve(rawRows.size());
    for (const auto& raw : rawRows) {
        Row row;
        for (std::size_t c = 0; c < columns.size(); ++c)
            row.push_back(convertValue(columns[c], raw[c]).value_or(Value{}));
        rows.push_back(std::move(row));
    }
    return rows;
}

// Rows of a query read before its column types are settled.
constexpr std::size_t TypingRows = 1000;

int progressHandler(void* sink) {
    return static_cast<ResultSink*>(sink)->cancelRequested() ? 1 : 0;
}

std::string afterColon(const std::string& text) {
    std::size_t colon = text.find(':');
    std::string rest = colon == std::string::npos ? text : text.substr(colon + 1);
    while (!rest.empty() && rest.front() == ' ') rest.erase(rest.begin());
    return rest;
}

std::string withoutSchema(const std::string& name) {
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

}  // namespace

ServerMessage messageForSqliteError(const std::string& text, const Statement& statement) {
    ServerMessage message;
    if (text.rfind("near \"", 0) == 0) {
        std::size_t end = text.find("\": syntax error");
        message = messages::syntaxError(end == std::string::npos ? text : text.substr(6, end - 6));
    } else if (text.find("incomplete input") != std::string::npos) {
        message = messages::syntaxError(statement.tokens.empty() ? std::string()
                                                                 : statement.tokens.back().text);
    } else if (text.rfind("no such table:", 0) == 0 || text.rfind("no such view:", 0) == 0) {
        message = messages::objectNotFound(withoutSchema(afterColon(text)));
    } else if (text.rfind("no such column:", 0) == 0) {
        message = messages::invalidColumn(withoutSchema(afterColon(text)));
    } else if (text.find(" already exists") != std::string::npos) {
        std::string name = text.substr(0, text.find(" already exists"));
        std::size_t space = name.rfind(' ');
        message = messages::objectExists(
            withoutSchema(space == std::string::npos ? name : name.substr(space + 1)));
    } else if (text.rfind("no such function:", 0) == 0) {
        message = messages::functionNotFound(afterColon(text));
    } else if (text.rfind("UNIQUE constraint failed:", 0) == 0) {
        message = messages::duplicateKey("'" + afterColon(text) + "'");
    } else if (text.rfind("NOT NULL constraint failed:", 0) == 0) {
        message = messages::nullNotAllowed("'" + afterColon(text) + "'");
    } else if (text.find("database is locked") != std::string::npos ||
               text.find("database table is locked") != std::string::npos) {
        message = messages::deadlock();
    } else if (text.rfind("unknown database", 0) == 0) {
        message = messages::noSuchDatabase(afterColon(text));
    } else {
        message = messages::internalError(text);
    }
    message.line = statement.line;
    return message;
}

std::optional<std::string> globalVariable(ExecutionContext& context, const std::string& name) {
    std::string lower = lowerText(name);
    if (lower == "@@servername") return quoteSqlString(context.server().serverName());
    if (lower == "@@version")
        return quoteSqlString("Adaptive Server Enterprise/15.7/aseemu/" +
                              context.server().serverName());
    if (lower == "@@spid") return std::to_string(context.connectionId());
    if (lower == "@@rowcount") return std::to_string(context.lastRowCount);
    if (lower == "@@error") return "0";
    if (lower == "@@trancount") return context.inTransaction() ? "1" : "0";
    return std::nullopt;
}

namespace {

// The databases a statement writes and reads, by the schema names SQLite gives them on this
// connection (main, temp, or the name a database is attached under), noted while it is prepared.
struct StatementReach {
    std::set<std::string> written;
    std::set<std::string> read;
};

int noteReach(void* data, int action, const char* first, const char*, const char* schema,
              const char*) {
    StatementReach& reach = *static_cast<StatementReach*>(data);
    switch (action) {
        case SQLITE_READ:
            // The schema tables are read by SQLite's own work on a change, not by the statement.
            if (schema != nullptr && first != nullptr &&
                std::string(first).rfind("sqlite_", 0) != 0)
                reach.read.insert(schema);
            break;
        case SQLITE_ALTER_TABLE:
            if (first != nullptr) reach.written.insert(first);
            break;
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_CREATE_VIEW:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_TRIGGER:
        case SQLITE_DROP_VIEW:
        case SQLITE_CREATE_TEMP_TABLE:
        case SQLITE_CREATE_TEMP_INDEX:
        case SQLITE_CREATE_TEMP_TRIGGER:
        case SQLITE_CREATE_TEMP_VIEW:
        case SQLITE_DROP_TEMP_TABLE:
        case SQLITE_DROP_TEMP_INDEX:
        case SQLITE_DROP_TEMP_TRIGGER:
        case SQLITE_DROP_TEMP_VIEW:
        case SQLITE_CREATE_VTABLE:
        case SQLITE_DROP_VTABLE:
        case SQLITE_ANALYZE:
        case SQLITE_REINDEX:
            if (schema != nullptr) reach.written.insert(schema);
            break;
        default:
            break;
    }
    return SQLITE_OK;
}

// Where a change is recorded: the user database it changes and the schema name that database
// has on this connection.
struct LogTarget {
    std::string database;
    std::string schema;
};

// The log a changing statement goes to; nothing for a change to system databases or temporary
// tables only. The log keeps statements, which a load replays inside the one database, so a
// statement that changes two user databases, or changes one with values read from another, is
// refused: a message to send instead.
std::variant<std::monostate, LogTarget, ServerMessage> logTargetOf(const StatementReach& reach,
                                                                   const std::string& current) {
    auto databaseOf = [&](const std::string& schema) {
        return schema == "main" ? current : schema;
    };
    std::set<std::string> changed;
    for (const std::string& schema : reach.written)
        if (schema != "temp" && !isSystemDatabase(databaseOf(schema))) changed.insert(schema);
    if (reach.written.empty() && !isSystemDatabase(current))
        changed.insert(
            "main");  // a change SQLite did not describe: the current database's, as it runs there
    if (changed.empty()) return std::monostate{};
    if (changed.size() > 1)
        return messages::unsupportedRequest("a statement that changes two databases ('" +
                                            databaseOf(*changed.begin()) + "' and '" +
                                            databaseOf(*std::next(changed.begin())) + "') at once");
    const std::string& schema = *changed.begin();
    for (const std::string& other : reach.read)
        if (other != schema)
            return messages::unsupportedRequest(
                "a change to database '" + databaseOf(schema) + "' that reads database '" +
                databaseOf(other) +
                "': its log keeps statements, and a load replays them in that database alone");
    return LogTarget{databaseOf(schema), schema};
}

// The server's functions whose value depends on the connection, as literals: a change that uses
// them is logged with the values it had, not those of whoever replays it.
std::optional<std::string> connectionFunction(ExecutionContext& context, const std::string& name) {
    if (name == "db_name") return quoteSqlString(context.currentDatabase());
    if (name == "user_name" || name == "suser_name") return quoteSqlString(context.userName);
    if (name == "host_name") return quoteSqlString(context.hostName);
    if (name == "app_name") return quoteSqlString(context.applicationName);
    return std::nullopt;
}

// Runs translated text; `textIn(database)` gives the statement translated as if that database
// were the current one, for the log of a change made from another database.
StatementOutcome runSqliteText(ExecutionContext& context, const std::string& sql,
                               const std::set<std::string>& databases, const Statement& statement,
                               const std::function<std::string(const std::string&)>& textIn);

}  // namespace

StatementOutcome runSqlStatement(ExecutionContext& context, const Statement& statement) {
    const std::string head = statement.keyword();
    const bool changesRows = head == "insert" || head == "update" || head == "delete";
    auto translate = [&](const std::string& database) {
        VariableLookup functions;
        if (changesRows)
            functions = [&](const std::string& name) { return connectionFunction(context, name); };
        return translateToSqlite(
            statement, database,
            [&](const std::string& name) { return globalVariable(context, name); }, functions);
    };
    TranslatedSql translated;
    try {
        translated = translate(context.currentDatabase());
    } catch (const UnknownVariable& unknown) {
        ServerMessage message = messages::undeclaredVariable(unknown.name);
        message.line = statement.line;
        context.sink().message(message);
        return StatementOutcome::failed(true);
    }
    return runSqliteText(context, translated.sql, translated.databases, statement,
                         [&](const std::string& database) { return translate(database).sql; });
}

namespace {

StatementOutcome runSqliteText(ExecutionContext& context, const std::string& sql,
                               const std::set<std::string>& databases, const Statement& statement,
                               const std::function<std::string(const std::string&)>& textIn) {
    ResultSink& sink = context.sink();
    auto fail = [&](ServerMessage message, bool endBatch) {
        return failStatement(context, statement, message, endBatch);
    };
    SqliteDatabase* db = nullptr;
    try {
        db = &context.database(databases);
    } catch (const UnusableDatabase& unusable) {
        return fail(unusable.message, false);
    } catch (const SqliteError& error) {
        return fail(messageForSqliteError(error.what(), statement), false);
    }

    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    StatementReach reach;
    sqlite3_set_authorizer(db->handle(), noteReach, &reach);
    int rc =
        sqlite3_prepare_v2(db->handle(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    sqlite3_set_authorizer(db->handle(), nullptr, nullptr);
    SqliteStatement prepared(raw);
    if (rc != SQLITE_OK) {
        ServerMessage message = messageForSqliteError(sqlite3_errmsg(db->handle()), statement);
        return fail(message, message.number == 102);
    }
    if (raw == nullptr) return StatementOutcome{};

    const bool modifying = !sqlite3_stmt_readonly(raw);
    std::optional<LogTarget> logTo;
    if (modifying) {
        auto target = logTargetOf(reach, context.currentDatabase());
        if (auto* refusal = std::get_if<ServerMessage>(&target)) return fail(*refusal, false);
        if (auto* found = std::get_if<LogTarget>(&target)) logTo = *found;
    }
    // The change and its log record commit together: in a transaction of their own, or inside
    // the client's under a savepoint, so that a failure takes back both.
    const bool ownTransaction = logTo && !db->inTransaction();
    const bool savepoint = logTo && !ownTransaction;
    sqlite3_progress_handler(db->handle(), 2000, progressHandler, &sink);
    struct ProgressReset {
        sqlite3* handle;
        ~ProgressReset() { sqlite3_progress_handler(handle, 0, nullptr, nullptr); }
    } progressReset{db->handle()};

    StatementOutcome outcome;
    try {
        if (ownTransaction)
            db->execute("BEGIN IMMEDIATE");
        else if (savepoint)
            db->execute("SAVEPOINT aseemu_statement");
        const int columnCount = sqlite3_column_count(raw);
        auto readRow = [&] {
            std::vector<RawValue> values;
            values.reserve(static_cast<std::size_t>(columnCount));
            for (int c = 0; c < columnCount; ++c) values.push_back(readValue(raw, c));
            return values;
        };
        // A query's first rows settle the column types; the rest stream after them. A changing
        // statement runs to its end before anything is sent, as it commits first.
        std::vector<std::vector<RawValue>> rawRows;
        bool more = false;
        while (prepared.step()) {
            rawRows.push_back(readRow());
            if (!modifying && rawRows.size() >= TypingRows) {
                more = true;
                break;
            }
        }
        const int changes = sqlite3_changes(db->handle());
        if (logTo) {
            const std::string logged =
                logTo->database == context.currentDatabase() ? sql : textIn(logTo->database);
            TransactionLog::append(*db, logged, formatDateTime(context.statementTime),
                                   logTo->schema);
        }
        if (ownTransaction)
            db->execute("COMMIT");
        else if (savepoint)
            db->execute("RELEASE aseemu_statement");

        if (columnCount > 0) {
            std::vector<Column> columns(static_cast<std::size_t>(columnCount));
            std::vector<bool> declared(columns.size(), false);
            const std::vector<SelectItem> items = selectItems(statement);
            for (int c = 0; c < columnCount; ++c) {
                Column& column = columns[static_cast<std::size_t>(c)];
                const char* name = sqlite3_column_name(raw, c);
                std::string heading = name != nullptr ? name : "";
                std::optional<Column> fromType =
                    columnForDeclaredType(sqlite3_column_decltype(raw, c));
                if (fromType) {
                    column = *fromType;
                    declared[static_cast<std::size_t>(c)] = true;
                }
                const std::size_t index = static_cast<std::size_t>(c);
                const bool matched = index < items.size() && items.size() == columns.size();
                if (!fromType && matched && items[index].getdate)
                    column.kind = ColumnKind::DateTime;
                // A computed column without an alias has no heading on the server; an alias
                // given explicitly is kept as written, blanks and all.
                const bool aliased = matched && items[index].aliased;
                column.name =
                    (fromType || aliased || looksLikeName(heading)) ? heading : std::string();
            }
            std::vector<Row> rows = typeColumns(columns, declared, rawRows, more);
            rawRows.clear();
            if (rowFormatSize(columns) > 65535)
                return fail(messages::unsupportedRequest(
                                "results whose column descriptions exceed 65535 bytes"),
                            false);
            sink.rowFormat(columns);
            std::int64_t sent = 0;
            for (const Row& row : rows) {
                if (sink.cancelRequested()) {
                    outcome.cancelled = true;
                    return outcome;
                }
                sink.row(row);
                ++sent;
            }
            while (more && prepared.step()) {
                if (sink.cancelRequested()) {
                    outcome.cancelled = true;
                    return outcome;
                }
                std::vector<RawValue> values = readRow();
                Row row;
                for (std::size_t c = 0; c < columns.size(); ++c) {
                    std::optional<Value> value = convertValue(columns[c], values[c]);
                    if (!value) {
                        StatementOutcome failed =
                            fail(messages::conversionFailed(rawText(values[c]),
                                                            kindName(columns[c].kind)),
                                 false);
                        failed.rowCount = sent;
                        return failed;
                    }
                    row.push_back(std::move(*value));
                }
                sink.row(row);
                ++sent;
            }
            outcome.rowCount = sent;
        } else {
            std::string head = statement.keyword();
            if (head == "insert" || head == "update" || head == "delete")
                outcome.rowCount = changes;
        }
        context.lastRowCount = outcome.rowCount.value_or(0);
    } catch (const SqliteError& error) {
        if (ownTransaction && db->inTransaction()) {
            db->execute("ROLLBACK");
        } else if (savepoint && db->inTransaction()) {
            try {
                db->execute("ROLLBACK TO aseemu_statement");
                db->execute("RELEASE aseemu_statement");
            } catch (const SqliteError&) {
                // The failure already ended the client's transaction, and the savepoint with it.
            }
        }
        if (error.code == SQLITE_INTERRUPT || sink.cancelRequested()) {
            outcome.cancelled = true;
            return outcome;
        }
        return fail(messageForSqliteError(error.what(), statement), false);
    }
    return outcome;
}

}  // namespace

}  // namespace tvr::sim
