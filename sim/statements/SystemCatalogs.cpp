#include "sim/statements/SystemCatalogs.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "sim/statements/ExactStorage.h"
#include "sim/statements/SqlLexer.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/storage/Sqlite.h"

namespace tvr::sim {
namespace {

// The server's system types: name, user type, physical type, length, and the physical type
// of a nullable column of the type (0: the same).
struct SystemType {
    const char* name;
    int usertype;
    int type;
    int length;
    int nullableType;
    bool variable;
};

const SystemType kSystemTypes[] = {
    {"char", 1, 47, 255, 39, false},
    {"varchar", 2, 39, 255, 0, true},
    {"binary", 3, 45, 255, 37, false},
    {"varbinary", 4, 37, 255, 0, true},
    {"tinyint", 5, 48, 1, 38, false},
    {"smallint", 6, 52, 2, 38, false},
    {"int", 7, 56, 4, 38, false},
    {"float", 8, 62, 8, 109, false},
    {"numeric", 10, 63, 17, 108, false},
    {"money", 11, 60, 8, 110, false},
    {"datetime", 12, 61, 8, 111, false},
    {"intn", 13, 38, 4, 0, false},
    {"floatn", 14, 109, 8, 0, false},
    {"datetimn", 15, 111, 8, 0, false},
    {"bit", 16, 50, 1, 0, false},
    {"moneyn", 17, 110, 8, 0, false},
    {"sysname", 18, 39, 30, 0, true},
    {"text", 19, 35, 16, 0, false},
    {"image", 20, 34, 16, 0, false},
    {"smallmoney", 21, 122, 4, 110, false},
    {"smalldatetime", 22, 58, 4, 111, false},
    {"real", 23, 59, 4, 109, false},
    {"nchar", 24, 47, 255, 39, false},
    {"nvarchar", 25, 39, 255, 0, true},
    {"decimal", 26, 55, 17, 106, false},
    {"decimaln", 27, 106, 17, 0, false},
    {"numericn", 28, 108, 17, 0, false},
    {"unichar", 34, 135, 255, 155, false},
    {"univarchar", 35, 155, 255, 0, true},
    {"unitext", 36, 174, 16, 0, false},
    {"date", 37, 49, 4, 123, false},
    {"time", 38, 51, 4, 147, false},
    {"bigint", 43, 191, 8, 38, false},
};

const SystemType& systemType(const std::string& base) {
    static const char* const synonyms[][2] = {
        {"integer", "int"}, {"double", "float"},   {"double precision", "float"},
        {"dec", "decimal"}, {"character", "char"},
    };
    std::string name = base;
    for (const auto& synonym : synonyms)
        if (name == synonym[0]) name = synonym[1];
    for (const SystemType& type : kSystemTypes)
        if (name == type.name) return type;
    return kSystemTypes[1];  // anything else SQLite was given is kept as text
}

// The catalogs themselves, listed as system tables with the ids the server gives them.
struct CatalogTable {
    const char* name;
    int id;
    const char* columns;  // the temporary table's columns
};

const CatalogTable kCatalogs[] = {
    {"sysobjects", 1,
     "name varchar(255) not null, id int not null, uid int not null, type char(2) not null, "
     "userstat smallint not null, sysstat smallint not null, indexdel smallint not null, "
     "schemacnt smallint not null, sysstat2 int not null, crdate datetime null, "
     "expdate datetime null, deltrig int not null, instrig int not null, updtrig int not null, "
     "seltrig int not null, ckfirst int not null, cache smallint not null, "
     "objspare int not null, loginame varchar(30) null"},
    {"syscolumns", 3,
     "id int not null, number smallint not null, colid smallint not null, status tinyint not "
     "null, type tinyint not null, length int not null, offset smallint not null, usertype "
     "smallint not null, cdefault int not null, domain int not null, name varchar(255) not "
     "null, printfmt varchar(255) null, prec tinyint null, scale tinyint null"},
    {"systypes", 4,
     "uid int not null, usertype smallint not null, variable bit not null, allownulls bit not "
     "null, type tinyint not null, length int not null, tdefault int not null, domain int not "
     "null, name varchar(255) not null, printfmt varchar(255) null, prec tinyint null, scale "
     "tinyint null, ident tinyint null, hierarchy tinyint null"},
    {"syscomments", 6,
     "id int not null, number smallint not null, colid smallint not null, texttype smallint "
     "not null, language smallint not null, text varchar(255) null, colid2 smallint not null, "
     "status smallint null"},
    {"sysusers", 10,
     "suid int not null, uid int not null, gid int not null, name varchar(30) not null, "
     "environ varchar(255) null"},
};

// sysobjects.sysstat: the kind of object in its low bits.
int statusOf(const std::string& type) {
    if (type == "S") return 1;
    if (type == "V") return 2;
    if (type == "U") return 3;
    return 4;
}

std::string schemaSql(const std::string& schema) {
    return schema == "main" ? std::string("main") : quoteSqlName(schema);
}

SqliteStatement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(raw);
        throw SqliteError(sqlite3_errcode(db), sqlite3_errmsg(db));
    }
    return SqliteStatement(raw);
}

// The text in rows of at most 255 bytes, as syscomments holds it.
std::vector<std::string> textRows(const std::string& text) {
    std::vector<std::string> rows;
    for (std::size_t at = 0; at < text.size(); at += 255) rows.push_back(text.substr(at, 255));
    return rows;
}

void fillOne(SqliteDatabase& db, const std::string& database, const std::string& schema,
             const CatalogTable& catalog) {
    const std::string table = catalogTable(database, catalog.name);
    db.execute("DROP TABLE IF EXISTS " + table + "; CREATE TABLE " + table + " (" +
               catalog.columns + ")");
    sqlite3* handle = db.handle();
    const std::string name = catalog.name;
    if (name == "sysusers") {
        db.execute("INSERT INTO " + table +
                   " VALUES (-2, 0, 0, 'public', NULL), (1, 1, 0, 'dbo', NULL)");
        return;
    }
    if (name == "systypes") {
        SqliteStatement insert(db, "INSERT INTO " + table +
                                       " VALUES (1, ?, ?, 1, ?, ?, 0, 0, ?, NULL, NULL, NULL, "
                                       "NULL, NULL)");
        for (const SystemType& type : kSystemTypes) {
            insert.bind(1, static_cast<std::int64_t>(type.usertype))
                .bind(2, static_cast<std::int64_t>(type.variable ? 1 : 0))
                .bind(3, static_cast<std::int64_t>(type.type))
                .bind(4, static_cast<std::int64_t>(type.length))
                .bind(5, std::string(type.name));
            insert.step();
            sqlite3_reset(insert.handle());
        }
        return;
    }
    const std::vector<CatalogObject> objects = catalogObjects(handle, schema);
    if (name == "sysobjects") {
        SqliteStatement insert(db, "INSERT INTO " + table +
                                       " VALUES (?, ?, 1, ?, 0, ?, 0, 0, 0, ?, NULL, 0, 0, 0, 0, "
                                       "0, 0, 0, NULL)");
        for (const CatalogObject& object : objects) {
            insert.bind(1, object.name)
                .bind(2, static_cast<std::int64_t>(object.id))
                .bind(3, object.type)
                .bind(4, static_cast<std::int64_t>(statusOf(object.type)));
            if (object.crdate)
                insert.bind(5, *object.crdate);
            else
                sqlite3_bind_null(insert.handle(), 5);
            insert.step();
            sqlite3_reset(insert.handle());
        }
    } else if (name == "syscolumns") {
        SqliteStatement insert(
            db, "INSERT INTO " + table + " VALUES (?, 0, ?, ?, ?, ?, 0, ?, 0, 0, ?, NULL, ?, ?)");
        for (const CatalogObject& object : objects) {
            if (object.type == "P") continue;
            int colid = 0;
            for (const CatalogColumn& column : catalogColumns(handle, schema, object.name)) {
                insert.bind(1, static_cast<std::int64_t>(object.id))
                    .bind(2, static_cast<std::int64_t>(++colid))
                    .bind(3, static_cast<std::int64_t>(column.nullable ? 8 : 0))
                    .bind(4, static_cast<std::int64_t>(column.type))
                    .bind(5, static_cast<std::int64_t>(column.length))
                    .bind(6, static_cast<std::int64_t>(column.usertype))
                    .bind(7, column.name);
                for (int k : {8, 9}) {
                    const std::optional<int>& number = k == 8 ? column.precision : column.scale;
                    if (number)
                        insert.bind(k, static_cast<std::int64_t>(*number));
                    else
                        sqlite3_bind_null(insert.handle(), k);
                }
                insert.step();
                sqlite3_reset(insert.handle());
            }
        }
    } else if (name == "syscomments") {
        SqliteStatement insert(db, "INSERT INTO " + table + " VALUES (?, ?, ?, 0, 0, ?, ?, 0)");
        for (const CatalogObject& object : objects) {
            if (object.text.empty()) continue;
            // A procedure is number 1 of its group; a view has none.
            const std::int64_t number = object.type == "P" ? 1 : 0;
            const std::vector<std::string> rows = textRows(object.text);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                insert.bind(1, static_cast<std::int64_t>(object.id))
                    .bind(2, number)
                    .bind(3, static_cast<std::int64_t>(i % 32768 + 1))
                    .bind(4, rows[i])
                    .bind(5, static_cast<std::int64_t>(i / 32768));
                insert.step();
                sqlite3_reset(insert.handle());
            }
        }
    }
}

void userIdFunction(sqlite3_context* call, int count, sqlite3_value** arguments) {
    if (count == 0) return sqlite3_result_int(call, 1);  // every login works as dbo here
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) return sqlite3_result_null(call);
    const std::string name =
        asciiLower(reinterpret_cast<const char*>(sqlite3_value_text(arguments[0])));
    if (name == "dbo") return sqlite3_result_int(call, 1);
    if (name == "public") return sqlite3_result_int(call, 0);
    sqlite3_result_null(call);
}

void objectIdFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) return sqlite3_result_null(call);
    std::string wanted = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    // owner.name and db..name name an object of the current database here.
    const std::size_t dot = wanted.rfind('.');
    if (dot != std::string::npos) wanted = wanted.substr(dot + 1);
    try {
        for (const CatalogObject& object : catalogObjects(sqlite3_context_db_handle(call), "main"))
            if (asciiLower(object.name) == asciiLower(wanted))
                return sqlite3_result_int(call, object.id);
    } catch (const SqliteError& error) {
        return sqlite3_result_error(call, error.what(), -1);
    }
    sqlite3_result_null(call);
}

}  // namespace

bool isCatalogName(const std::string& name) {
    for (const CatalogTable& catalog : kCatalogs)
        if (name == catalog.name) return true;
    return false;
}

std::string catalogTable(const std::string& database, const std::string& catalog) {
    return "temp." + quoteSqlName("aseemu_catalog_" + database + "_" + catalog);
}

void fillCatalogs(SqliteDatabase& db, const std::string& currentDatabase,
                  const std::set<CatalogUse>& uses) {
    for (const auto& [database, name] : uses)
        for (const CatalogTable& catalog : kCatalogs)
            if (name == catalog.name)
                fillOne(db, database, database == currentDatabase ? "main" : database, catalog);
}

int objectId(const std::string& name, const std::string& type) {
    if (type == "S")
        for (const CatalogTable& catalog : kCatalogs)
            if (name == catalog.name) return catalog.id;
    // FNV-1a of the name in lower case, kept clear of the ids of system tables.
    std::uint32_t hash = 2166136261u;
    for (char c : asciiLower(name)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return static_cast<int>(hash % 2000000000u) + 1000;
}

std::vector<CatalogObject> catalogObjects(sqlite3* db, const std::string& schema) {
    std::vector<CatalogObject> objects;
    for (const CatalogTable& catalog : kCatalogs)
        objects.push_back({catalog.name, catalog.id, "S", std::nullopt, {}});
    const std::string from = schemaSql(schema);
    SqliteStatement tables =
        prepare(db, "SELECT type, name, sql FROM " + from +
                        ".sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE "
                        "'sqlite\\_%' ESCAPE '\\' AND name NOT LIKE 'aseemu\\_%' ESCAPE '\\' "
                        "ORDER BY name");
    bool procedures = false;
    while (tables.step()) {
        const std::string name = tables.text(1);
        std::string type = tables.text(0) == "view" ? "V" : "U";
        // The tables the server itself keeps (sysdatabases in master) are system tables.
        if (type == "U" && asciiLower(name).rfind("sys", 0) == 0) type = "S";
        objects.push_back({name, objectId(name, type), type, std::nullopt,
                           type == "V" ? tables.text(2) : std::string()});
    }
    SqliteStatement kept = prepare(db, "SELECT 1 FROM " + from +
                                           ".sqlite_master WHERE type = 'table' AND name = "
                                           "'aseemu_procs'");
    procedures = kept.step();
    if (procedures) {
        SqliteStatement created =
            prepare(db, "SELECT name, text, crdate FROM " + from + ".aseemu_procs ORDER BY name");
        while (created.step()) {
            const std::string name = created.text(0);
            objects.push_back(
                {name, objectId(name, "P"), "P",
                 created.isNull(2) ? std::nullopt : std::optional<std::string>(created.text(2)),
                 created.text(1)});
        }
    }
    return objects;
}

std::vector<CatalogColumn> catalogColumns(sqlite3* db, const std::string& schema,
                                          const std::string& table) {
    std::vector<CatalogColumn> columns;
    SqliteStatement info =
        prepare(db, "SELECT name, type, \"notnull\" FROM pragma_table_info(?, ?) ORDER BY cid");
    sqlite3_bind_text(info.handle(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(info.handle(), 2, schema.c_str(), -1, SQLITE_TRANSIENT);
    while (info.step()) {
        CatalogColumn column;
        column.name = info.text(0);
        const std::string declared = declaredTypeOf(asciiLower(info.text(1)));
        std::string base = declared.substr(0, declared.find('('));
        while (!base.empty() && std::isspace(static_cast<unsigned char>(base.back())))
            base.pop_back();
        const SystemType& type = systemType(base);
        column.typeName = type.name;
        column.usertype = type.usertype;
        column.nullable = info.integer(2) == 0;
        column.type = column.nullable && type.nullableType != 0 ? type.nullableType : type.type;
        column.length = type.length;
        const std::size_t open = declared.find('(');
        if (open != std::string::npos) {
            const int first = std::atoi(declared.c_str() + open + 1);
            const std::size_t comma = declared.find(',', open);
            if (base == "numeric" || base == "decimal") {
                column.precision = first;
                column.scale =
                    comma == std::string::npos ? 0 : std::atoi(declared.c_str() + comma + 1);
            } else if (first > 0) {
                column.length = first;
            }
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

void registerCatalogFunctions(sqlite3* db) {
    for (int arguments : {0, 1})
        sqlite3_create_function_v2(db, "user_id", arguments, SQLITE_UTF8, nullptr, userIdFunction,
                                   nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "object_id", 1, SQLITE_UTF8, nullptr, objectIdFunction, nullptr,
                               nullptr, nullptr);
}

}  // namespace tvr::sim
