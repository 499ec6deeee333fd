#include "sim/procs/SelectIntoCommand.h"

#include <sqlite3.h>

#include "sim/backup/LogChain.h"
#include "sim/backup/ServerErrors.h"
#include "sim/statements/CancelWatch.h"
#include "sim/statements/ExactStorage.h"
#include "sim/statements/GlobalVariables.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/statements/SqliteErrors.h"
#include "sim/statements/SystemCatalogs.h"

namespace tvr::sim {
namespace {

bool isName(const SqlToken& token) {
    return token.kind == SqlToken::Kind::Word || token.kind == SqlToken::Kind::BracketName;
}

std::string nameOf(const SqlToken& token) {
    return token.kind == SqlToken::Kind::BracketName ? token.value : token.text;
}

// The statement without its into clause: the query whose rows fill the new table.
Statement queryOf(const Statement& statement, const SelectIntoTarget& target) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    const std::size_t base = tokens.front().offset;
    const SqlToken& last = tokens[target.end - 1];
    Statement query = statement;
    query.text = statement.text.substr(0, tokens[target.into].offset - base) + " " +
                 statement.text.substr(last.offset + last.text.size() - base);
    query.tokens = tokenizeSql(query.text);
    return query;
}

}  // namespace

std::optional<SelectIntoTarget> selectIntoTarget(const std::vector<SqlToken>& tokens) {
    if (tokens.empty() || !tokens[0].isWord("select")) return std::nullopt;
    int depth = 0;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (token.isSymbol("(")) ++depth;
        if (token.isSymbol(")")) --depth;
        if (depth != 0) continue;
        if (token.isWord("from") || token.isWord("union")) return std::nullopt;
        if (!token.isWord("into")) continue;
        // into table | db..table | db.owner.table | owner.table | #table
        SelectIntoTarget target;
        target.into = i;
        std::vector<std::string> parts;
        std::size_t k = i + 1;
        for (;;) {
            if (k < tokens.size() && isName(tokens[k])) {
                parts.push_back(nameOf(tokens[k++]));
            } else {
                parts.emplace_back();  // db..table leaves the owner out
            }
            if (k < tokens.size() && tokens[k].isSymbol(".") && parts.size() < 3) {
                ++k;
                continue;
            }
            break;
        }
        if (parts.back().empty()) return std::nullopt;
        target.end = k;
        target.table = parts.back();
        if (parts.size() == 3) target.database = parts[0];
        if (parts.size() == 3 && parts[0].empty()) return std::nullopt;
        target.temporary = target.table.front() == '#';
        return target;
    }
    return std::nullopt;
}

StatementOutcome runSelectInto(ExecutionContext& context, const Statement& statement) {
    const auto target = selectIntoTarget(statement.tokens);
    if (!target) return failStatement(context, statement, messages::syntaxError("into"), true);
    const std::string current = context.currentDatabase();
    const std::string database = target->temporary ? "tempdb" : target->database.value_or(current);

    if (context.inTransaction())
        return failStatement(context, statement, errors::notInTransaction("SELECT INTO"));
    // Rows that are not logged cannot be recovered from the log: only where the owner allows
    // it. tempdb is never recovered.
    const bool recovered = database != "tempdb";
    if (recovered) {
        const auto info = context.server().findDatabase(database);
        if (!info) return failStatement(context, statement, messages::noSuchDatabase(database));
        if (!info->selectIntoBulkcopy)
            return failStatement(context, statement, errors::selectIntoNotAllowed());
    }
    if (context.formatOnly) return {};

    const Statement query = queryOf(statement, *target);
    TranslatedSql translated;
    try {
        translated = translateToSqlite(
            query, current, [&](const std::string& name) { return globalVariable(context, name); });
    } catch (const UnknownVariable& unknown) {
        return failStatement(context, statement, messages::undeclaredVariable(unknown.name), true);
    }
    const bool elsewhere = !target->temporary && database != current;
    if (elsewhere) translated.databases.insert(database);
    SqliteDatabase* db = nullptr;
    try {
        db = &context.database(translated.databases);
        fillCatalogs(*db, current, translated.catalogs);
    } catch (const UnusableDatabase& unusable) {
        return failStatement(context, statement, unusable.message);
    } catch (const SqliteError& error) {
        return failStatement(context, statement, messageForSqliteError(error.what(), statement));
    }
    const std::string schema =
        target->temporary ? "temp" : (elsewhere ? quoteSqlName(database) : "main");
    const std::string table = schema + "." + quoteSqlName(target->table);

    // The new table's columns: the query's, with the types their values are declared with.
    std::string columns;
    {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db->handle(), translated.sql.c_str(),
                                          static_cast<int>(translated.sql.size()), &raw, nullptr);
        SqliteStatement prepared(raw);
        if (rc != SQLITE_OK || raw == nullptr) {
            const ServerMessage message = messageForSqliteError(
                rc != SQLITE_OK ? sqlite3_errmsg(db->handle()) : "incomplete input", statement);
            return failStatement(context, statement, message, message.number == 102);
        }
        for (int c = 0; c < sqlite3_column_count(raw); ++c) {
            const char* name = sqlite3_column_name(raw, c);
            const char* type = sqlite3_column_decltype(raw, c);
            if (!columns.empty()) columns += ", ";
            columns += quoteSqlName(name != nullptr ? name : "");
            if (type != nullptr && *type != '\0')
                columns += std::string(" ") + type + collationFor(type);
        }
    }

    // A cancel stops a long copy, as it stops any query.
    const CancelWatch cancelWatch(db->handle(), context.sink());

    StatementOutcome outcome;
    try {
        db->execute("BEGIN IMMEDIATE");
        db->execute("CREATE TABLE " + table + " (" + columns + ")");
        db->execute("INSERT INTO " + table + " " + translated.sql);
        outcome.rowCount = sqlite3_changes(db->handle());
        // The rows go without log records; the table with them.
        if (recovered) logchain::markUnloggedChange(db->handle(), schema);
        db->execute("COMMIT");
    } catch (const SqliteError& error) {
        if (db->inTransaction()) db->execute("ROLLBACK");
        if (error.code == SQLITE_INTERRUPT || context.sink().cancelRequested()) {
            StatementOutcome cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        return failStatement(context, statement, messageForSqliteError(error.what(), statement));
    } catch (const LogError& error) {
        if (db->inTransaction()) db->execute("ROLLBACK");
        return failStatement(context, statement, messageForSqliteError(error.message, statement));
    }
    context.lastRowCount = *outcome.rowCount;
    return outcome;
}

}  // namespace tvr::sim
