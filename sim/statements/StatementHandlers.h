#pragma once
// The table of statements the emulator recognises. A batch is cut into statements; each goes to
// the first handler whose `matches` accepts it, and the last resort hands it to SQLite. New
// statements (procedures, dump and load, ...) are added by registering further handlers; native
// system procedures (exec sp_...) are registered by name in the procedure table.
#include "sim/statements/BatchSplitter.h"
#include "sim/statements/ExecutionContext.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tvr::sim {

// The value of an output parameter after a call: sent to an RPC caller, and put into the
// variable a language call named for it.
struct OutputParameter {
    std::string callerVariable;        // lower case with its @; empty when the call gave a value
    Column column;                     // the parameter's type, named as the parameter
    std::optional<std::string> value;  // as a variable holds it; nothing: NULL
};

// How a statement ended, from which the batch runner builds its done token.
struct StatementOutcome {
    bool error = false;
    std::optional<std::int64_t> rowCount;      // rows selected or changed: the done token's count
    bool procedure = false;                    // a procedure call: ends with a done-proc token
    std::optional<std::int32_t> returnStatus;  // sent before the done token
    bool endBatch = false;                     // the statements after this one do not run
    bool cancelled = false;                    // stopped by the client's attention
    std::vector<OutputParameter> outputs;      // sent after the return status

    static StatementOutcome failed(bool endBatch = false) {
        StatementOutcome outcome;
        outcome.error = true;
        outcome.endBatch = endBatch;
        return outcome;
    }
};

struct StatementHandler {
    std::string name;  // for the log
    std::function<bool(const Statement&)> matches;
    std::function<StatementOutcome(ExecutionContext&, const Statement&)> run;
};

// Arguments of a procedure call: positional ones in order, named ones (@name = value) by
// their name in lower case with the @.
struct ProcedureArguments {
    std::vector<std::optional<std::string>> positional;  // nothing for NULL
    std::map<std::string, std::optional<std::string>> named;
    // The arguments marked output: the parameter's name (lower case, with its @) or "#N" for the
    // Nth positional one from 0, and the caller's variable given for it (empty for a value).
    std::map<std::string, std::string> outputs;
    // The named one, else the positional one at `index`; nothing when absent or NULL.
    std::optional<std::string> get(const std::string& name, std::size_t index) const;
};

// A procedure carried out by the emulator itself. It writes its rows and messages to the sink
// (statements inside it end with done-in-proc tokens) and returns its return status.
using NativeProcedure =
    std::function<std::int32_t(ExecutionContext&, const ProcedureArguments&, const Statement&)>;

class CommandSet {
public:
    BatchSplitter splitter;

    // Handlers are tried in the order added; `addFirst` puts one ahead of all others.
    void add(StatementHandler handler) { handlers_.push_back(std::move(handler)); }
    void addFirst(StatementHandler handler) {
        handlers_.insert(handlers_.begin(), std::move(handler));
    }
    const StatementHandler* find(const Statement& statement) const;

    // Procedure names are compared in lower case.
    void addProcedure(const std::string& name, NativeProcedure procedure);
    const NativeProcedure* findProcedure(const std::string& name) const;

    // Procedures created by clients: asked when no native procedure has the name; nothing when
    // there is no such procedure either (then 2812).
    std::function<std::optional<StatementOutcome>(ExecutionContext&, const std::string&,
                                                  const ProcedureArguments&, const Statement&)>
        storedProcedures;

    // SQL functions of the parts built on this layer (the log's state that
    // tran_dumpable_status reports), registered on every SQLite connection a session opens.
    std::vector<std::function<void(sqlite3*)>> sqlFunctions;

    // Conditions of if and while that the emulator answers without SQLite (the existence test
    // on sysobjects): their truth, or nothing for a condition SQLite is to evaluate.
    std::function<std::optional<bool>(ExecutionContext&, const std::vector<SqlToken>&)>
        conditionTest;

private:
    std::vector<StatementHandler> handlers_;
    std::map<std::string, NativeProcedure> procedures_;
};

// A print text with %1!, %2!, ... replaced by the arguments; a placeholder without an
// argument gives nothing.
std::string formatPrintText(const std::string& format, const std::vector<std::string>& arguments);

// Sends `message` with the statement's line and gives the outcome of the failed statement.
StatementOutcome failStatement(ExecutionContext& context, const Statement& statement,
                               ServerMessage message, bool endBatch = false);

// The statements of an ordinary server: use, print, transactions, waitfor, set options,
// execute with the native procedures, create database, and SQL through SQLite.
CommandSet makeStandardCommands();

}  // namespace tvr::sim
