#include "sim/statements/ChangeLogTarget.h"

#include <sqlite3.h>

#include <iterator>

#include "sim/storage/ServerState.h"

namespace tvr::sim {

int noteReach(void* data, int action, const char* first, const char* second, const char* schema,
              const char*) {
    StatementReach& reach = *static_cast<StatementReach*>(data);
    switch (action) {
        case SQLITE_READ:
            // The schema tables are read by SQLite's own work on a change, not by the statement.
            if (schema != nullptr && first != nullptr &&
                std::string(first).rfind("sqlite_", 0) != 0) {
                reach.read.insert(schema);
                if (second != nullptr) reach.columns.emplace(schema, first, second);
            }
            break;
        case SQLITE_ALTER_TABLE:
            if (first != nullptr) reach.written.insert(first);
            break;
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_TEMP_TABLE:
            if (first != nullptr && schema != nullptr) reach.createdTable.emplace(schema, first);
            if (schema != nullptr) reach.written.insert(schema);
            break;
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_CREATE_VIEW:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_TRIGGER:
        case SQLITE_DROP_VIEW:
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
        if (other == "temp")
            return messages::unsupportedRequest(
                "a change to database '" + databaseOf(schema) +
                "' that reads a #table or a system catalog: its log keeps statements, and a "
                "load replays them without either");
        else if (other != schema)
            return messages::unsupportedRequest(
                "a change to database '" + databaseOf(schema) + "' that reads database '" +
                databaseOf(other) +
                "': its log keeps statements, and a load replays them in that database alone");
    return LogTarget{databaseOf(schema), schema};
}
}  // namespace tvr::sim
