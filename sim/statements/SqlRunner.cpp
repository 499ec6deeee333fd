#include "sim/statements/SqlRunner.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>
#include <variant>

#include "sim/statements/CancelWatch.h"
#include "sim/statements/ChangeLogTarget.h"
#include "sim/statements/ColumnLengths.h"
#include "sim/statements/ColumnTyping.h"
#include "sim/statements/ConvertFunction.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/GlobalVariables.h"
#include "sim/statements/IdentityColumns.h"
#include "sim/statements/ResultHeadings.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/statements/SqliteErrors.h"
#include "sim/statements/SystemCatalogs.h"
#include "sim/storage/TransactionLog.h"

namespace tvr::sim {
namespace {

// Rows of a query read before its column types are settled.
constexpr std::size_t TypingRows = 1000;

// Whether a result column is a table's column declared not null.
bool declaredNotNull(sqlite3_stmt* raw, int c) {
    const char* database = sqlite3_column_database_name(raw, c);
    const char* table = sqlite3_column_table_name(raw, c);
    const char* origin = sqlite3_column_origin_name(raw, c);
    if (database == nullptr || table == nullptr || origin == nullptr) return false;
    int notNull = 0;
    if (sqlite3_table_column_metadata(sqlite3_db_handle(raw), database, table, origin, nullptr,
                                      nullptr, &notNull, nullptr, nullptr) != SQLITE_OK)
        return false;
    return notNull != 0;
}

// The table a column comes from, as a statement in the current database names it: "t", or
// "db..t" for one of another database (attached under its name), "#t" for a temporary table;
// empty for none.
std::string tableOf(sqlite3_stmt* raw, int c) {
    const char* database = sqlite3_column_database_name(raw, c);
    const char* table = sqlite3_column_table_name(raw, c);
    if (table == nullptr || database == nullptr) return {};
    const std::string schema = database;
    if (schema == "main" || schema == "temp") return table;
    return schema + ".." + table;
}

// The exact column (numeric, decimal, money, smallmoney) that min, max or sum of `name` takes
// its type from: the one table column of that name the statement reads. sum of a numeric
// holds 38 digits, as the server's does.
std::optional<Column> aggregatedExactColumn(sqlite3_stmt* raw, const StatementReach& reach,
                                            const SelectItem& item) {
    const std::tuple<std::string, std::string, std::string>* found = nullptr;
    for (const auto& read : reach.columns) {
        if (asciiLower(std::get<2>(read)) != asciiLower(item.aggregatedColumn)) continue;
        if (found != nullptr) return std::nullopt;  // which one is meant is not known here
        found = &read;
    }
    const char* type = nullptr;
    if (found == nullptr ||
        sqlite3_table_column_metadata(sqlite3_db_handle(raw), std::get<0>(*found).c_str(),
                                      std::get<1>(*found).c_str(), std::get<2>(*found).c_str(),
                                      &type, nullptr, nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::nullopt;
    std::optional<Column> column = columnForDeclaredType(type);
    if (!column || !isExact(column->kind)) return std::nullopt;
    if (item.summed && column->precision < kMaxNumericPrecision &&
        (column->kind == ColumnKind::Numeric || column->kind == ColumnKind::Decimal))
        column->precision = kMaxNumericPrecision;
    return column;
}

// The columns of a query: their kinds from the declared types (or a conversion, getdate(), or
// an exact column under min, max or sum), their headings as the server gives them; `declared`
// marks those whose type was declared.
std::vector<Column> describeColumns(sqlite3_stmt* raw, const Statement& statement,
                                    const StatementReach& reach, std::vector<bool>& declared) {
    const int columnCount = sqlite3_column_count(raw);
    std::vector<Column> columns(static_cast<std::size_t>(columnCount));
    declared.assign(columns.size(), false);
    const std::vector<SelectItem> items = selectItems(statement);
    for (int c = 0; c < columnCount; ++c) {
        Column& column = columns[static_cast<std::size_t>(c)];
        const char* name = sqlite3_column_name(raw, c);
        std::string heading = name != nullptr ? name : "";
        std::optional<Column> fromType = columnForDeclaredType(sqlite3_column_decltype(raw, c));
        if (fromType) {
            column = *fromType;
            declared[static_cast<std::size_t>(c)] = true;
            // A table's column declared not null says so (bulk copy refuses NULL for it); the
            // server keeps a nullable char(n) or binary(n) column as a varchar or varbinary:
            // unpadded.
            column.nullable = !declaredNotNull(raw, c);
            if (column.kind == ColumnKind::Char && column.nullable)
                column.kind = ColumnKind::VarChar;
            if (column.kind == ColumnKind::Binary && column.nullable)
                column.kind = ColumnKind::VarBinary;
            if (column.kind == ColumnKind::Text || column.kind == ColumnKind::Image)
                column.table = tableOf(raw, c);
        }
        const std::size_t index = static_cast<std::size_t>(c);
        const bool matched = index < items.size() && items.size() == columns.size();
        if (!fromType && matched && !items[index].convertType.empty()) {
            if (std::optional<Column> converted = columnForConvertType(items[index].convertType)) {
                column = *converted;
                declared[index] = true;
            }
        }
        if (!fromType && matched && items[index].getdate) column.kind = ColumnKind::DateTime;
        if (!fromType && matched && items[index].constant) column.nullable = false;
        if (!fromType && matched && !items[index].aggregatedColumn.empty())
            if (std::optional<Column> exact = aggregatedExactColumn(raw, reach, items[index])) {
                column = *exact;
                declared[index] = true;
            }
        // A computed column without an alias has no heading on the server; an alias
        // given explicitly is kept as written, blanks and all.
        const bool aliased = matched && items[index].aliased;
        column.name = (fromType || aliased || looksLikeName(heading)) ? heading : std::string();
    }
    return columns;
}

// Where each column of a query comes from, for a select for browse.
BrowseInformation browseInformationOf(sqlite3_stmt* raw) {
    BrowseInformation information;
    for (int c = 0; c < sqlite3_column_count(raw); ++c) {
        BrowseInformation::Source source;
        const std::string table = tableOf(raw, c);
        const char* origin = sqlite3_column_origin_name(raw, c);
        if (!table.empty() && origin != nullptr) {
            auto found = std::find(information.tables.begin(), information.tables.end(), table);
            if (found == information.tables.end())
                found = information.tables.insert(information.tables.end(), table);
            source.table = static_cast<int>(found - information.tables.begin()) + 1;
            source.name = origin;
            int key = 0;
            sqlite3_table_column_metadata(sqlite3_db_handle(raw),
                                          sqlite3_column_database_name(raw, c),
                                          sqlite3_column_table_name(raw, c), origin, nullptr,
                                          nullptr, nullptr, &key, nullptr);
            source.key = key != 0;
        }
        information.columns.push_back(std::move(source));
    }
    return information;
}

// A statement that failed in SQLite while it ran. An arithmetic error (3607) is a serious one on
// the server: it ends the batch and takes back the client's transaction.
StatementOutcome failWhileRunning(ExecutionContext& context, SqliteDatabase& db,
                                  const Statement& statement, const std::string& sqliteText) {
    const ServerMessage message = messageForSqliteError(sqliteText, statement);
    const bool arithmetic = message.number == messages::divideByZero().number;
    if (arithmetic && db.inTransaction()) db.execute("ROLLBACK");
    return failStatement(context, statement, message, arithmetic);
}

// Runs translated text; `textIn(database)` gives the statement translated as if that database
// were the current one, for the log of a change made from another database.
StatementOutcome runSqliteText(ExecutionContext& context, const TranslatedSql& translated,
                               const Statement& statement,
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
    if (const std::optional<std::string> near = refusedLength(statement.tokens))
        return failStatement(context, statement, messages::syntaxError(*near), true);
    TranslatedSql translated;
    try {
        translated = translate(context.currentDatabase());
    } catch (const UnknownVariable& unknown) {
        ServerMessage message = messages::undeclaredVariable(unknown.name);
        message.line = statement.line;
        context.sink().message(message);
        return StatementOutcome::failed(true);
    }
    return runSqliteText(context, translated, statement,
                         [&](const std::string& database) { return translate(database).sql; });
}

namespace {

StatementOutcome runSqliteText(ExecutionContext& context, const TranslatedSql& translated,
                               const Statement& statement,
                               const std::function<std::string(const std::string&)>& textIn) {
    ResultSink& sink = context.sink();
    std::string sql = translated.sql;
    auto fail = [&](ServerMessage message, bool endBatch) {
        return failStatement(context, statement, message, endBatch);
    };
    SqliteDatabase* db = nullptr;
    try {
        db = &context.database(translated.databases);
        fillCatalogs(*db, context.currentDatabase(), translated.catalogs);
    } catch (const UnusableDatabase& unusable) {
        return fail(unusable.message, false);
    } catch (const SqliteError& error) {
        return fail(messageForSqliteError(error.what(), statement), false);
    }

    sqlite3_stmt* raw = nullptr;
    StatementReach reach;
    auto prepare = [&] {
        reach = StatementReach{};
        sqlite3_set_authorizer(db->handle(), noteReach, &reach);
        const int code = sqlite3_prepare_v2(db->handle(), sql.c_str(), static_cast<int>(sql.size()),
                                            &raw, nullptr);
        sqlite3_set_authorizer(db->handle(), nullptr, nullptr);
        return code;
    };
    sql = withIdentityColumn(*db, sql);
    int rc = prepare();
    // An insert without a column list into a table with an identity column gives the others.
    std::string prepareError = rc != SQLITE_OK ? sqlite3_errmsg(db->handle()) : "";
    if (rc != SQLITE_OK)
        if (auto listed = insertWithoutIdentity(*db, sql, prepareError)) {
            sql = *listed;
            rc = prepare();
            if (rc != SQLITE_OK) prepareError = sqlite3_errmsg(db->handle());
        }
    SqliteStatement prepared(raw);
    if (rc != SQLITE_OK) {
        ServerMessage message = messageForSqliteError(prepareError, statement);
        return fail(message, message.number == 102);
    }
    if (raw == nullptr) return StatementOutcome{};
    // set fmtonly on: the format of a query's result and nothing else; nothing runs.
    if (context.formatOnly) {
        if (sqlite3_column_count(raw) > 0) {
            std::vector<bool> declared;
            std::vector<Column> columns = describeColumns(raw, statement, reach, declared);
            typeColumns(columns, declared, {}, true);
            sink.rowFormat(columns);
        }
        return StatementOutcome{};
    }

    const bool modifying = !sqlite3_stmt_readonly(raw);
    std::optional<LogTarget> logTo;
    if (modifying) {
        auto target = logTargetOf(reach, context.currentDatabase());
        if (auto* refusal = std::get_if<ServerMessage>(&target)) return fail(*refusal, false);
        if (auto* found = std::get_if<LogTarget>(&target)) logTo = *found;
        // A read-only database takes no transaction, explicit or implicit, from any login.
        const auto info = logTo ? context.server().findDatabase(logTo->database) : std::nullopt;
        if (info && info->readOnly) return fail(messages::readOnly(logTo->database), false);
    }
    // The change and its log record commit together: in a transaction of their own, or inside
    // the client's under a savepoint, so that a failure takes back both.
    const bool ownTransaction = logTo && !db->inTransaction();
    const bool savepoint = logTo && !ownTransaction;
    const CancelWatch cancelWatch(db->handle(), sink);

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
        // A new table keeps its columns within their lengths from its first row on.
        std::vector<std::string> fitting;
        if (reach.createdTable) {
            const auto& [schema, table] = *reach.createdTable;
            for (const std::string& trigger : lengthTriggers(*db, schema, table, true))
                db->execute(trigger);
            fitting = lengthTriggers(*db, schema, table, false);
            if (!translated.identityColumn.empty()) {
                for (const std::string& step :
                     identityStatements(schema, table, translated.identityColumn, true))
                    db->execute(step);
                for (std::string& step :
                     identityStatements(schema, table, translated.identityColumn, false))
                    fitting.push_back(std::move(step));
            }
        }
        if (logTo) {
            const std::string logged =
                logTo->database == context.currentDatabase() ? sql : textIn(logTo->database);
            const std::string at = formatDateTime(context.statementTime);
            TransactionLog::append(*db, logged, at, logTo->schema);
            for (const std::string& trigger : fitting)
                TransactionLog::append(*db, trigger, at, logTo->schema);
        }
        if (ownTransaction)
            db->execute("COMMIT");
        else if (savepoint)
            db->execute("RELEASE aseemu_statement");

        if (columnCount > 0) {
            std::vector<bool> declared;
            std::vector<Column> columns = describeColumns(raw, statement, reach, declared);
            std::vector<Row> rows = typeColumns(columns, declared, rawRows, more);
            rawRows.clear();
            if (rowFormatSize(columns) > 65535)
                return fail(messages::unsupportedRequest(
                                "results whose column descriptions exceed 65535 bytes"),
                            false);
            sink.rowFormat(columns);
            if (translated.browse) sink.browseInformation(browseInformationOf(raw));
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
        return failWhileRunning(context, *db, statement, error.what());
    }
    return outcome;
}

}  // namespace

std::variant<std::vector<std::vector<RawValue>>, StatementOutcome> queryValues(
    ExecutionContext& context, const Statement& statement) {
    TranslatedSql translated;
    try {
        translated = translateToSqlite(
            statement, context.currentDatabase(),
            [&](const std::string& name) { return globalVariable(context, name); });
    } catch (const UnknownVariable& unknown) {
        return failStatement(context, statement, messages::undeclaredVariable(unknown.name), true);
    }
    SqliteDatabase* db = nullptr;
    try {
        db = &context.database(translated.databases);
        fillCatalogs(*db, context.currentDatabase(), translated.catalogs);
    } catch (const UnusableDatabase& unusable) {
        return failStatement(context, statement, unusable.message);
    } catch (const SqliteError& error) {
        return failStatement(context, statement, messageForSqliteError(error.what(), statement));
    }
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db->handle(), translated.sql.c_str(),
                                      static_cast<int>(translated.sql.size()), &raw, nullptr);
    SqliteStatement prepared(raw);
    if (rc != SQLITE_OK || raw == nullptr) {
        ServerMessage message = messageForSqliteError(
            rc != SQLITE_OK ? sqlite3_errmsg(db->handle()) : "incomplete input", statement);
        return failStatement(context, statement, message, message.number == 102);
    }
    if (!sqlite3_stmt_readonly(raw))
        return failStatement(context, statement,
                             messages::unsupportedRequest("a change inside an assignment"));
    const CancelWatch cancelWatch(db->handle(), context.sink());
    std::vector<std::vector<RawValue>> rows;
    try {
        while (prepared.step()) {
            std::vector<RawValue> values;
            for (int c = 0; c < sqlite3_column_count(raw); ++c) values.push_back(readValue(raw, c));
            rows.push_back(std::move(values));
        }
    } catch (const SqliteError& error) {
        if (error.code == SQLITE_INTERRUPT || context.sink().cancelRequested()) {
            StatementOutcome cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        return failWhileRunning(context, *db, statement, error.what());
    }
    return rows;
}

namespace {

// Keeps the row format a statement sends; its messages still reach the client.
class FormatCapture : public NullResultSink {
public:
    explicit FormatCapture(ResultSink& client) : client_(client) {}
    void message(const ServerMessage& message) override { client_.message(message); }
    void rowFormat(const std::vector<Column>& columns) override { columns_ = columns; }
    bool cancelRequested() override { return client_.cancelRequested(); }
    std::vector<Column> columns_;

private:
    ResultSink& client_;
};

}  // namespace

std::variant<std::vector<Column>, StatementOutcome> queryColumns(ExecutionContext& context,
                                                                 const Statement& statement) {
    FormatCapture capture(context.sink());
    ResultSink* previous = context.redirectSink(&capture);
    const bool formatOnly = context.formatOnly;
    context.formatOnly = true;
    const StatementOutcome described = runSqlStatement(context, statement);
    context.formatOnly = formatOnly;
    context.redirectSink(previous);
    if (described.error || described.cancelled) return described;
    return capture.columns_;
}

std::optional<Statement> makeStatement(const ExecutionContext& context, const std::string& sql,
                                       int line) {
    std::vector<Statement> statements = context.commands().splitter.split(sql);
    if (statements.size() != 1) return std::nullopt;
    statements.front().line = line;
    return statements.front();
}

}  // namespace tvr::sim
