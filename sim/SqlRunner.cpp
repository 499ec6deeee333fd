#include "sim/SqlRunner.h"

#include "sim/DateTime.h"
#include "sim/ServerMessages.h"
#include "sim/SqlTranslator.h"
#include "sim/TransactionLog.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tvr::sim {
namespace {

std::string lowerText(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The column a declared type stands for; nothing for a type that says nothing (no column).
std::optional<Column> columnForDeclaredType(const char* declared) {
    if (declared == nullptr)
        return std::nullopt;
    std::string type = lowerText(declared);
    Column column;
    int length = -1;
    std::size_t paren = type.find('(');
    if (paren != std::string::npos)
        length = std::atoi(type.c_str() + paren + 1);
    std::string base = type.substr(0, paren);
    while (!base.empty() && std::isspace(static_cast<unsigned char>(base.back())))
        base.pop_back();
    if (base.find("char") != std::string::npos || base == "text" || base == "sysname") {
        column.kind = (base == "char" || base == "nchar" || base == "unichar") ? ColumnKind::Char : ColumnKind::VarChar;
        column.length = base == "sysname" ? 30 : length;
    } else if (base == "int" || base == "integer") {
        column.kind = ColumnKind::Int;
    } else if (base == "smallint") {
        column.kind = ColumnKind::SmallInt;
    } else if (base == "tinyint" || base == "bit") {
        column.kind = ColumnKind::TinyInt;
    } else if (base == "bigint") {
        column.kind = ColumnKind::BigInt;
    } else if (base == "float" || base == "real" || base == "double" || base == "double precision" ||
               base == "numeric" || base == "decimal" || base == "money" || base == "smallmoney") {
        column.kind = ColumnKind::Float;
    } else if (base == "datetime" || base == "smalldatetime" || base == "date" || base == "bigdatetime") {
        column.kind = ColumnKind::DateTime;
    } else {
        return std::nullopt;
    }
    return column;
}

bool looksLikeName(const std::string& name) {
    if (name.empty())
        return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#' && c != '@')
            return false;
    return true;
}

// For each item of the statement's select list: whether it is getdate(), alone or with an alias
// (getdate(), getdate() as x, getdate() x). SQLite sees only a text there, so the type must come
// from the statement. Empty when the items cannot be matched to columns (a * among them).
std::vector<bool> getdateItems(const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    std::size_t i = 0;
    while (i < tokens.size() && !tokens[i].isWord("select"))
        ++i;
    if (i == tokens.size())
        return {};
    ++i;
    if (i < tokens.size() && (tokens[i].isWord("distinct") || tokens[i].isWord("all")))
        ++i;
    if (i + 1 < tokens.size() && tokens[i].isWord("top"))
        i += 2;
    std::vector<bool> items;
    std::vector<const SqlToken*> item;
    int depth = 0;
    auto finish = [&] {
        bool getdate = item.size() >= 3 && item[0]->isWord("getdate") && item[1]->isSymbol("(") &&
                       item[2]->isSymbol(")") &&
                       (item.size() == 3 || (item.size() == 4 && item[3]->kind != SqlToken::Kind::Symbol) ||
                        (item.size() == 5 && item[3]->isWord("as")));
        items.push_back(getdate);
        item.clear();
    };
    static const char* const ends[] = {"from", "where", "group", "order", "union", "into", "having"};
    for (; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (depth == 0) {
            bool end = false;
            for (const char* word : ends)
                end = end || token.isWord(word);
            if (end)
                break;
            if (token.isSymbol(",")) {
                finish();
                continue;
            }
            if (token.isSymbol("*") && (item.empty() || item.back()->isSymbol(".")))
                return {};
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
            value.text.assign(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
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
    case SQLITE_INTEGER: return std::to_string(value.integer);
    case SQLITE_FLOAT: return valueText(Value{value.real});
    case SQLITE_TEXT: return value.text;
    default: return {};
    }
}

std::optional<std::int64_t> rawInteger(const RawValue& value) {
    if (value.type == SQLITE_INTEGER)
        return value.integer;
    if (value.type == SQLITE_FLOAT && std::nearbyint(value.real) == value.real && std::fabs(value.real) < 9e18)
        return static_cast<std::int64_t>(value.real);
    if (value.type == SQLITE_TEXT) {
        char* end = nullptr;
        errno = 0;
        long long number = std::strtoll(value.text.c_str(), &end, 10);
        if (!value.text.empty() && end != nullptr && *end == '\0' && errno == 0)
            return number;
    }
    return std::nullopt;
}

std::optional<double> rawReal(const RawValue& value) {
    if (value.type == SQLITE_FLOAT)
        return value.real;
    if (value.type == SQLITE_INTEGER)
        return static_cast<double>(value.integer);
    if (value.type == SQLITE_TEXT) {
        char* end = nullptr;
        double number = std::strtod(value.text.c_str(), &end);
        if (!value.text.empty() && end != nullptr && *end == '\0')
            return number;
    }
    return std::nullopt;
}

bool isInteger(ColumnKind kind) {
    return kind == ColumnKind::Int || kind == ColumnKind::SmallInt || kind == ColumnKind::TinyInt ||
           kind == ColumnKind::BigInt;
}

bool inRange(ColumnKind kind, std::int64_t number) {
    switch (kind) {
    case ColumnKind::TinyInt: return number >= 0 && number <= 255;
    case ColumnKind::SmallInt: return number >= -32768 && number <= 32767;
    case ColumnKind::Int:
        return number >= std::numeric_limits<std::int32_t>::min() && number <= std::numeric_limits<std::int32_t>::max();
    default: return true;
    }
}

const char* kindName(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::TinyInt: return "TINYINT";
    case ColumnKind::SmallInt: return "SMALLINT";
    case ColumnKind::Int: return "INT";
    case ColumnKind::BigInt: return "BIGINT";
    case ColumnKind::Float: return "FLOAT";
    case ColumnKind::DateTime: return "DATETIME";
    default: return "VARCHAR";
    }
}

// The value as the column's kind sends it; nothing when it does not fit. Texts longer than a
// short column are cut to its length, as the server keeps no more in such a column.
std::optional<Value> convertValue(const Column& column, const RawValue& value) {
    if (value.type == SQLITE_NULL)
        return Value{};
    if (isInteger(column.kind)) {
        std::optional<std::int64_t> number = rawInteger(value);
        if (!number || !inRange(column.kind, *number))
            return std::nullopt;
        return Value{*number};
    }
    if (column.kind == ColumnKind::Float) {
        std::optional<double> number = rawReal(value);
        if (!number)
            return std::nullopt;
        return Value{*number};
    }
    if (column.kind == ColumnKind::DateTime) {
        std::optional<DateTimeValue> datetime =
            value.type == SQLITE_TEXT ? parseDateTime(value.text) : std::optional<DateTimeValue>();
        if (!datetime)
            return std::nullopt;
        return Value{*datetime};
    }
    std::string text = rawText(value);
    if (column.length > 0 && column.length <= 255 && text.size() > static_cast<std::size_t>(column.length))
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
                if (value.type == SQLITE_NULL)
                    continue;
                any = true;
                allIntegers = allIntegers && value.type == SQLITE_INTEGER;
                allNumbers = allNumbers && (value.type == SQLITE_INTEGER || value.type == SQLITE_FLOAT);
            }
            if (column.kind != ColumnKind::DateTime)
                column.kind = !any ? ColumnKind::VarChar
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
            if (value.type == SQLITE_NULL || text)
                continue;
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
            if (isInteger(column.kind) && (!inRange(column.kind, low) || !inRange(column.kind, high)))
                column.kind = wider;
        if (column.kind == ColumnKind::Char || column.kind == ColumnKind::VarChar) {
            std::size_t longest = 1;
            for (const auto& raw : rawRows)
                longest = std::max(longest, rawText(raw[c]).size());
            if (column.length < 0 && openEnded)
                column.length = static_cast<int>(std::max<std::size_t>(longest, 255));
            else if (column.length < static_cast<int>(longest) && (column.length < 0 || !declared[c] || !fits))
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

int progressHandler(void* sink) { return static_cast<ResultSink*>(sink)->cancelRequested() ? 1 : 0; }

std::string afterColon(const std::string& text) {
    std::size_t colon = text.find(':');
    std::string rest = colon == std::string::npos ? text : text.substr(colon + 1);
    while (!rest.empty() && rest.front() == ' ')
        rest.erase(rest.begin());
    return rest;
}

std::string withoutSchema(const std::string& name) {
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

} // namespace

ServerMessage messageForSqliteError(const std::string& text, const Statement& statement) {
    ServerMessage message;
    if (text.rfind("near \"", 0) == 0) {
        std::size_t end = text.find("\": syntax error");
        message = messages::syntaxError(end == std::string::npos ? text : text.substr(6, end - 6));
    } else if (text.find("incomplete input") != std::string::npos) {
        message = messages::syntaxError(statement.tokens.empty() ? std::string() : statement.tokens.back().text);
    } else if (text.rfind("no such table:", 0) == 0 || text.rfind("no such view:", 0) == 0) {
        message = messages::objectNotFound(withoutSchema(afterColon(text)));
    } else if (text.rfind("no such column:", 0) == 0) {
        message = messages::invalidColumn(withoutSchema(afterColon(text)));
    } else if (text.find(" already exists") != std::string::npos) {
        std::string name = text.substr(0, text.find(" already exists"));
        std::size_t space = name.rfind(' ');
        message = messages::objectExists(withoutSchema(space == std::string::npos ? name : name.substr(space + 1)));
    } else if (text.rfind("no such function:", 0) == 0) {
        message = messages::functionNotFound(afterColon(text));
    } else if (text.rfind("UNIQUE constraint failed:", 0) == 0) {
        message = messages::duplicateKey("'" + afterColon(text) + "'");
    } else if (text.rfind("NOT NULL constraint failed:", 0) == 0) {
        message = messages::nullNotAllowed("'" + afterColon(text) + "'");
    } else if (text.find("database is locked") != std::string::npos || text.find("database table is locked") != std::string::npos) {
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
    if (lower == "@@servername")
        return quoteSqlString(context.server().serverName());
    if (lower == "@@version")
        return quoteSqlString("Adaptive Server Enterprise/15.7/aseemu/" + context.server().serverName());
    if (lower == "@@spid")
        return std::to_string(context.connectionId());
    if (lower == "@@rowcount")
        return std::to_string(context.lastRowCount);
    if (lower == "@@error")
        return "0";
    if (lower == "@@trancount")
        return context.inTransaction() ? "1" : "0";
    return std::nullopt;
}

StatementOutcome runSqlStatement(ExecutionContext& context, const Statement& statement) {
    TranslatedSql translated;
    try {
        translated = translateToSqlite(statement, context.currentDatabase(),
                                       [&](const std::string& name) { return globalVariable(context, name); });
    } catch (const UnknownVariable& unknown) {
        ServerMessage message = messages::undeclaredVariable(unknown.name);
        message.line = statement.line;
        context.sink().message(message);
        return StatementOutcome::failed(true);
    }
    return runSqliteText(context, translated.sql, translated.databases, statement);
}

StatementOutcome runSqliteText(ExecutionContext& context, const std::string& sql, const std::set<std::string>& databases,
                               const Statement& statement) {
    ResultSink& sink = context.sink();
    auto fail = [&](ServerMessage message, bool endBatch) {
        message.line = statement.line;
        sink.message(message);
        return StatementOutcome::failed(endBatch);
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
    int rc = sqlite3_prepare_v2(db->handle(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    SqliteStatement prepared(raw);
    if (rc != SQLITE_OK) {
        ServerMessage message = messageForSqliteError(sqlite3_errmsg(db->handle()), statement);
        return fail(message, message.number == 102);
    }
    if (raw == nullptr)
        return StatementOutcome{};

    const bool modifying = !sqlite3_stmt_readonly(raw);
    const bool logged = modifying && !isSystemDatabase(context.currentDatabase());
    const bool ownTransaction = logged && !db->inTransaction();
    sqlite3_progress_handler(db->handle(), 2000, progressHandler, &sink);
    struct ProgressReset {
        sqlite3* handle;
        ~ProgressReset() { sqlite3_progress_handler(handle, 0, nullptr, nullptr); }
    } progressReset{db->handle()};

    StatementOutcome outcome;
    try {
        if (ownTransaction)
            db->execute("BEGIN IMMEDIATE");
        const int columnCount = sqlite3_column_count(raw);
        auto readRow = [&] {
            std::vector<RawValue> values;
            values.reserve(static_cast<std::size_t>(columnCount));
            for (int c = 0; c < columnCount; ++c)
                values.push_back(readValue(raw, c));
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
        if (logged)
            TransactionLog::append(*db, sql, formatDateTime(context.statementTime));
        if (ownTransaction)
            db->execute("COMMIT");

        if (columnCount > 0) {
            std::vector<Column> columns(static_cast<std::size_t>(columnCount));
            std::vector<bool> declared(columns.size(), false);
            const std::vector<bool> getdates = getdateItems(statement);
            for (int c = 0; c < columnCount; ++c) {
                Column& column = columns[static_cast<std::size_t>(c)];
                const char* name = sqlite3_column_name(raw, c);
                std::string heading = name != nullptr ? name : "";
                std::optional<Column> fromType = columnForDeclaredType(sqlite3_column_decltype(raw, c));
                if (fromType) {
                    column = *fromType;
                    declared[static_cast<std::size_t>(c)] = true;
                } else if (static_cast<std::size_t>(c) < getdates.size() && getdates[static_cast<std::size_t>(c)]) {
                    column.kind = ColumnKind::DateTime;
                }
                // A computed column without an alias has no heading on the server.
                column.name = (fromType || looksLikeName(heading)) ? heading : std::string();
            }
            std::vector<Row> rows = typeColumns(columns, declared, rawRows, more);
            rawRows.clear();
            if (rowFormatSize(columns) > 65535)
                return fail(messages::unsupportedRequest("results whose column descriptions exceed 65535 bytes"), false);
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
                        StatementOutcome failed = fail(messages::conversionFailed(rawText(values[c]), kindName(columns[c].kind)), false);
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
        if (ownTransaction && db->inTransaction())
            db->execute("ROLLBACK");
        if (error.code == SQLITE_INTERRUPT || sink.cancelRequested()) {
            outcome.cancelled = true;
            return outcome;
        }
        return fail(messageForSqliteError(error.what(), statement), false);
    }
    return outcome;
}

} // namespace tvr::sim
