#include "sim/statements/IdentityColumns.h"

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

// Where the column list goes: before the first `values` or `select` word outside quotes.
std::optional<std::size_t> valuesPosition(const std::string& sql) {
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (i > 0 && std::isalnum(static_cast<unsigned char>(sql[i - 1]))) continue;
        for (const char* word : {"values", "select"}) {
            const std::size_t n = std::char_traits<char>::length(word);
            if (sql.size() < i + n) continue;
            bool same = true;
            for (std::size_t k = 0; k < n && same; ++k)
                same = std::tolower(static_cast<unsigned char>(sql[i + k])) == word[k];
            if (same &&
                (sql.size() == i + n || !std::isalnum(static_cast<unsigned char>(sql[i + n]))))
                return i;
        }
    }
    return std::nullopt;
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
    const std::optional<std::size_t> at = valuesPosition(sql);
    if (!at || list.empty()) return std::nullopt;
    return sql.substr(0, *at) + list + ") " + sql.substr(*at);
}

}  // namespace tvr::sim
