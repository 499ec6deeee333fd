#pragma once
// The state of one client connection that statements work with: who is logged on, the current
// database and its SQLite connection, the open transaction, the time getdate() returns for the
// statement in progress, and the sink for results.
#include "sim/statements/ResultSink.h"
#include "sim/statements/Values.h"
#include "sim/statements/Variables.h"
#include "sim/storage/ServerState.h"
#include "sim/storage/Sqlite.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tvr::sim {

class ExecutionContext;
struct StatementOutcome;
// What takes the data of the bulk packet a statement announced (the rows after insert bulk, the
// value after writetext bulk); it sends its messages and gives the outcome for the done token.
using BulkDataHandler =
    std::function<StatementOutcome(ExecutionContext&, const std::vector<std::uint8_t>&)>;

class CommandSet;

class ExecutionContext {
public:
    ExecutionContext(ServerState& server, const CommandSet& commands, ResultSink& sink,
                     int connectionId);
    ~ExecutionContext();
    ExecutionContext(const ExecutionContext&) = delete;
    ExecutionContext& operator=(const ExecutionContext&) = delete;

    ServerState& server() { return server_; }
    const CommandSet& commands() const { return commands_; }
    ResultSink& sink() { return redirected_ != nullptr ? *redirected_ : sink_; }
    // Sends what statements produce to `sink` instead (nullptr: back to the connection's); gives
    // the one it replaces. A procedure's statements go through one that marks their messages.
    ResultSink* redirectSink(ResultSink* sink) {
        ResultSink* previous = redirected_;
        redirected_ = sink;
        return previous;
    }
    int connectionId() const { return connectionId_; }

    std::string userName;
    std::string hostName;
    std::string applicationName;
    // Makes the connection's login, host, program and database known to sp_who; called once
    // the connection is logged on, and again whenever its database changes.
    void publishSession();

    const std::string& currentDatabase() const { return currentDatabase_; }
    // Makes `name` the current database. Nothing when it worked; otherwise the message to
    // send (911 unknown, 950 not online) and the context is unchanged.
    std::optional<ServerMessage> useDatabase(const std::string& name);

    // The SQLite connection of the current database, opened on first use; `attach` lists other
    // databases a statement names (db..table), attached under their own names. Throws
    // UnusableDatabase for an unknown or offline one.
    SqliteDatabase& database(const std::set<std::string>& attach = {});
    // Closes the connection (after the database file was replaced underneath, for instance).
    void closeDatabase();
    bool inTransaction();

    // The language command being run, as the client sent it (create procedure keeps it).
    std::string currentBatch;
    // The time getdate() gives during the current statement.
    DateTimeValue statementTime;
    // Rows counted by the last statement (@@rowcount).
    std::int64_t lastRowCount = 0;
    // set fmtonly on: queries send their row format and no rows, and nothing else runs.
    bool formatOnly = false;
    // set string_rtruncation on: a character value longer than its column is refused, not cut.
    bool refuseTruncation = false;
    // The last number an identity column gave a row inserted on this connection (@@identity).
    std::int64_t lastIdentity = 0;
    // The number of the last error of the last statement, 0 when it succeeded (@@error).
    int lastError = 0;
    // The batch is a procedure call sent as an RPC: the call's output parameters go back to the
    // client. The call takes the flag, so that procedures it calls do not.
    bool returnOutputParameters = false;
    // The local variables of the batch or procedure running; nullptr outside of one.
    VariableScope* variables = nullptr;
    // Set by a statement that announces a bulk packet; taken by the next request.
    BulkDataHandler bulkData;

private:
    void registerFunctions(SqliteDatabase& db);

    ServerState& server_;
    const CommandSet& commands_;
    ResultSink& sink_;
    ResultSink* redirected_ = nullptr;
    int connectionId_;
    bool published_ = false;
    std::string currentDatabase_;
    std::unique_ptr<SqliteDatabase> db_;
    std::set<std::string> attached_;
};

// A statement named a database that does not exist or is not online.
class UnusableDatabase : public std::runtime_error {
public:
    explicit UnusableDatabase(ServerMessage refusal)
        : std::runtime_error(refusal.text), message(std::move(refusal)) {}
    ServerMessage message;
};

}  // namespace tvr::sim
