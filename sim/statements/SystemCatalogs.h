#pragma once
// The catalogs clients read about a database's objects: sysobjects, syscolumns, syscomments,
// sysusers and systypes. They are built from the database's SQLite schema and its created
// procedures each time a statement reads them: the translator turns a catalog's name into a
// temporary table of the connection, which `fillCatalogs` fills before the statement runs.
// sp_help reads the same objects and columns.
#include <sqlite3.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tvr::sim {

class SqliteDatabase;

// A database and the name of one of its catalogs, in lower case.
using CatalogUse = std::pair<std::string, std::string>;

// True for sysobjects, syscolumns, syscomments, sysusers and systypes (lower case).
bool isCatalogName(const std::string& name);
// The temporary table that stands for `catalog` of `database`, as SQL ("temp"."...").
std::string catalogTable(const std::string& database, const std::string& catalog);

// Fills the temporary tables of `uses`; `currentDatabase` is the connection's main database,
// the others are attached under their names. Throws SqliteError.
void fillCatalogs(SqliteDatabase& db, const std::string& currentDatabase,
                  const std::set<CatalogUse>& uses);

// One object of a database as sysobjects lists it.
struct CatalogObject {
    std::string name;
    int id = 0;
    std::string type;                   // U user table, V view, P procedure, S system table
    std::optional<std::string> crdate;  // known for procedures only
    std::string text;                   // a procedure's or view's text
};

// One column of a table or view as syscolumns lists it.
struct CatalogColumn {
    std::string name;
    std::string typeName;  // the server's name of its type ("varchar", "int")
    int usertype = 0;
    int type = 0;  // the physical type: a nullable int is an intn
    int length = 0;
    std::optional<int> precision;
    std::optional<int> scale;
    bool nullable = true;
};

// `schema` as the connection names the database: "main" or an attached database's name.
std::vector<CatalogObject> catalogObjects(sqlite3* db, const std::string& schema);
std::vector<CatalogColumn> catalogColumns(sqlite3* db, const std::string& schema,
                                          const std::string& table);

// The id an object has in sysobjects: fixed for the catalogs, from its name for the others.
int objectId(const std::string& name, const std::string& type);

// user_id([name]) and object_id(name) for statements: the database's users (dbo is 1, public
// 0) and the ids of its objects.
void registerCatalogFunctions(sqlite3* db);

}  // namespace tvr::sim
