#pragma once
// Which transaction log a changing statement is recorded in. SQLite's authorizer notes, while a
// statement is prepared, the databases it writes and reads; from them follows the one user
// database whose log takes the statement, or a refusal.
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <variant>

#include "sim/statements/ServerMessages.h"

namespace tvr::sim {

// The databases a statement writes and reads, by the schema names SQLite gives them on this
// connection (main, temp, or the name a database is attached under), noted while it is prepared.
struct StatementReach {
    std::set<std::string> written;
    std::set<std::string> read;
    // The table columns it reads: schema, table, column.
    std::set<std::tuple<std::string, std::string, std::string>> columns;
    // The table a create table makes: schema, name.
    std::optional<std::pair<std::string, std::string>> createdTable;
};

// The authorizer callback that fills a StatementReach (passed as its data).
int noteReach(void* data, int action, const char* first, const char* second, const char* schema,
              const char* trigger);

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
                                                                   const std::string& current);

}  // namespace tvr::sim
