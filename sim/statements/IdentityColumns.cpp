#include "sim/statements/IdentityColumns.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "sim/statements/SqlTranslator.h"
#include "sim/storage/Sqlite.h"

namespace tvr::sim {
namespace {

void givenFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    auto* last = static_cast<std::int64_t*>(sqlite3_user_data(call));
    if (last != nullptr && sqlite3_value_type(arguments[0]) != SQLITE_NULL)
        *last = sqlite3_value_int64(arguments[0]);
    sqlite3_result_null(call);
}

// Where `word` stands in `sql` as a whole word, case aside, from `from` on; npos for nowhere.
std::size_t findWord(const std::string& sql, const std::string& word, std::size_t from = 0) {
    for (std::size_t at = from; at + word.size() <= sql.size(); ++at) {
        bool same = true;
        for (std::size_t k = 0; k < word.size() && same; ++k)
            same = std::tolower(static_cast<unsigned char>(sql[at + k])) ==
                   std::tolower(static_cast<unsigned char>(word[k]));
        auto part = [&](std::size_t i) {
            return i < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_');
        };
        if (same && (at == 0 || !part(at - 1)) && !part(at + word.size())) return at;
    }
    return std::string::npos;
}

}  // namespace

std::vector<std::string> identityStatements(const std::string& schema, const std::string& table,
                                            const std::string& column, bool qualified) {
    const std::string prefix = qualified ? quoteSqlName(schema) + "." : std::string();
    const std::string where = " WHERE tbl = " + quoteSqlString(table);
    return {
        "CREATE TABLE IF NOT EXISTS " + prefix +
            "aseemu_identity (tbl TEXT PRIMARY KEY, col TEXT, last INTEGER)",
        "INSERT OR REPLACE INTO " + prefix + "aseemu_identity VALUES (" + quoteSqlString(table) +
            ", " + quoteSqlString(column) + ", 0)",
        "CREATE TRIGGER " + prefix + quoteSqlName("aseemu_identity_" + table) +
            " AFTER INSERT ON " + quoteSqlName(table) + " WHEN NEW." + quoteSqlName(column) +
            " IS NULL BEGIN UPDATE aseemu_identity SET last = last + 1" + where + "; UPDATE " +
            quoteSqlName(table) + " SET " + quoteSqlName(column) +
            " = (SELECT last FROM aseemu_identity" + where +
            ") WHERE rowid = NEW.rowid; SELECT aseemu_identity_given(last) FROM " +
            "aseemu_identity" + where + "; END",
    };
}

void registerIdentityFunction(sqlite3* db, std::int64_t* last) {
    sqlite3_create_function_v2(db, "aseemu_identity_given", 1, SQLITE_UTF8, last, givenFunction,
                               nullptr, nullptr, nullptr);
}

std::optional<std::string> insertWithoutIdentity(SqliteDatabase& db, const std::string& sql,
                                                 const std::string& error) {
    char table[256] = {};
    int columns = 0, values = 0;
    if (std::sscanf(error.c_str(), "table %255s has %d columns but %d values were supplied", table,
                    &columns, &values) != 3 ||
        columns != values + 1)
        return std::nullopt;
    // SQLite names a table of an attached database with its schema: "sales.t".
    std::string name = table, schema = "main", identity;
    if (const std::size_t dot = name.find('.'); dot != std::string::npos) {
        schema = name.substr(0, dot);
        name = name.substr(dot + 1);
    }
    try {
        SqliteStatement find(db, "SELECT col FROM " + quoteSqlName(schema) +
                                     ".aseemu_identity WHERE tbl = " + quoteSqlString(name));
        if (!find.step()) return std::nullopt;
        identity = find.text(0);
    } catch (const SqliteError&) {
        return std::nullopt;  // no identity column in that database
    }
    std::string list;
    SqliteStatement info(
        db, "PRAGMA " + quoteSqlName(schema) + ".table_info(" + quoteSqlName(name) + ")");
    while (info.step())
        if (info.text(1) != identity)
            list += (list.empty() ? "(" : ", ") + quoteSqlName(info.text(1));
    // The list goes before the values or the query: nothing of the statement comes before
    // them but its table.
    const std::size_t at = std::min(findWord(sql, "values"), findWord(sql, "select"));
    if (at == std::string::npos || list.empty()) return std::nullopt;
    return sql.substr(0, at) + list + ") " + sql.substr(at);
}

std::string withIdentityColumn(SqliteDatabase& db, const std::string& sql) {
    const std::string word = "syb_identity";
    if (findWord(sql, word) == std::string::npos) return sql;
    std::string column;
    std::size_t first = std::string::npos;
    SqliteStatement databases(db, "PRAGMA database_list");
    while (databases.step()) {
        try {
            SqliteStatement known(
                db, "SELECT tbl, col FROM " + quoteSqlName(databases.text(1)) + ".aseemu_identity");
            while (known.step()) {
                const std::size_t at = findWord(sql, known.text(0));
                if (at < first) {
                    first = at;
                    column = known.text(1);
                }
            }
        } catch (const SqliteError&) {
            // no identity column in that database
        }
    }
    if (column.empty()) return sql;
    std::string result = sql;
    for (std::size_t at = findWord(result, word); at != std::string::npos;
         at = findWord(result, word, at + column.size()))
        result.replace(at, word.size(), quoteSqlName(column));
    return result;
}

}  // namespace tvr::sim
