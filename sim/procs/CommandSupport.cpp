#include "sim/procs/CommandSupport.h"

#include <sqlite3.h>

#include "sim/procs/ProcedureStore.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"

namespace tvr::sim {
namespace {

// A read-only look into another database's file, for procedures kept there.
class Peek {
public:
    explicit Peek(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        } else {
            sqlite3_busy_timeout(db_, 30000);
        }
    }
    ~Peek() { sqlite3_close(db_); }
    Peek(const Peek&) = delete;
    Peek& operator=(const Peek&) = delete;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace

StatementOutcome syntaxError(ExecutionContext& context, const Statement& statement,
                             const std::string& near) {
    return failStatement(context, statement, messages::syntaxError(near), true);
}

void sendResult(ExecutionContext& context, const ResultSet& result) {
    context.sink().rowFormat(result.columns);
    for (const Row& row : result.rows) context.sink().row(row);
    context.sink().done(TokenDoneInProc, DoneMore | DoneCount,
                        static_cast<std::int32_t>(result.rows.size()));
}

std::optional<StoredProcedure> findStored(ExecutionContext& context, const std::string& name) {
    const std::string current = context.currentDatabase();
    if (auto text = procstore::text(context.database().handle(), name))
        return StoredProcedure{current, *text};
    if (asciiLower(name).rfind("sp_", 0) != 0) return std::nullopt;
    for (const char* database : {"sybsystemprocs", "master"}) {
        if (current == database || !context.server().findDatabase(database)) continue;
        Peek peek(context.server().databasePath(database));
        if (!peek.handle()) continue;
        if (auto text = procstore::text(peek.handle(), name))
            return StoredProcedure{database, *text};
    }
    return std::nullopt;
}

}  // namespace tvr::sim
