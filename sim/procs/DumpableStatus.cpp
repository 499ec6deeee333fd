#include "sim/procs/DumpableStatus.h"

#include "sim/backup/LogChain.h"

namespace tvr::sim {
namespace {

void dumpableStatusFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) return sqlite3_result_null(call);
    const unsigned char* raw = sqlite3_value_text(arguments[0]);
    const std::string database(reinterpret_cast<const char*>(raw),
                               static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    auto& services = *static_cast<BackupServices*>(sqlite3_user_data(call));
    sqlite3_result_int(call, tranDumpableStatus(services, database));
}

}  // namespace

int tranDumpableStatus(BackupServices& services, const std::string& database) {
    const std::optional<std::filesystem::path> file = services.databaseFile(database);
    if (!file) return kDumpableNoSuchDatabase;
    int bits = 0;
    const LogDumpability log = services.logDumpability(database);
    if (log.mixedLog) bits |= kDumpableMixedLog;
    if (log.truncLogOnCheckpoint) bits |= kDumpableTruncLogOnCheckpoint;
    try {
        // Not the caller's connection: it may be on another database, or none.
        services.backup().lookAt(database, *file, [&bits](sqlite3* db) {
            const LogPosition position = logchain::position(db);
            if (position.unloggedSinceDatabaseDump) bits |= kDumpableUnloggedWrites;
            if (position.neverDumped)
                bits |= kDumpableNeverDumped;
            else if (position.truncatedSinceDatabaseDump)
                bits |= kDumpableTruncatedChain;
        });
    } catch (const std::exception&) {
        // No log chain yet: the database has never been dumped.
        bits |= kDumpableNeverDumped;
    } catch (const LogError&) {
        bits |= kDumpableNeverDumped;
    }
    return bits;
}

void addDumpableStatusFunction(CommandSet& commands, BackupServices& services) {
    commands.sqlFunctions.push_back([&services](sqlite3* db) {
        sqlite3_create_function_v2(db, "tran_dumpable_status", 1, SQLITE_UTF8, &services,
                                   dumpableStatusFunction, nullptr, nullptr, nullptr);
    });
}

}  // namespace tvr::sim
