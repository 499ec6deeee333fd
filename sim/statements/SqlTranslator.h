#pragma once
// Turns one Transact-SQL statement into the SQLite dialect: double-quoted strings become
// single-quoted, [names] become "names", db..table and db.owner.table name an attached
// database, dbo.table loses its owner, insert gets its into and delete its from, truncate table
// becomes delete, select top N gets a LIMIT, + next to a string literal concatenates,
// isnull() becomes ifnull(), and @@variables become literals.
#include "sim/statements/BatchSplitter.h"

#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

namespace tvr::sim {

struct TranslatedSql {
    std::string sql;
    std::set<std::string> databases;  // other databases the statement names
    // The catalogs it reads (database, catalog): temporary tables to fill before it runs.
    std::set<std::pair<std::string, std::string>> catalogs;
    // The column a create table declares `identity` (the word itself left out of the SQL).
    std::string identityColumn;
    // A select ... for browse: its result says where its columns come from.
    bool browse = false;
};

// Gives the SQL literal for a variable, or nothing when it is not known.
using VariableLookup = std::function<std::optional<std::string>(const std::string& name)>;

class UnknownVariable : public std::runtime_error {
public:
    explicit UnknownVariable(const std::string& variable)
        : std::runtime_error(variable), name(variable) {}
    std::string name;
};

// Throws UnknownVariable for a variable the lookup does not know. `functions`, when given, is
// asked for each call `name()` without arguments (the name in lower case) and may give a
// literal that takes the call's place.
TranslatedSql translateToSqlite(const Statement& statement, const std::string& currentDatabase,
                                const VariableLookup& variables,
                                const VariableLookup& functions = {});

// 'text' and "name" with the quotes inside doubled.
std::string quoteSqlString(const std::string& text);
std::string quoteSqlName(const std::string& name);

}  // namespace tvr::sim
