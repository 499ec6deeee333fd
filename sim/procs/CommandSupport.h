#pragma once
// What the statements and procedures of procedures, dump and load share: messages marked with
// the procedure and line they come from, result sets sent inside a procedure, the stored text of
// a procedure wherever it is found, and the fault that drops a connection.
#include <optional>
#include <stdexcept>
#include <string>

#include "sim/backup/BackupServer.h"
#include "sim/procs/SystemProcedures.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// Thrown to close the client's connection without an answer (an injected fault); the session
// ends the connection on any exception that reaches it.
class InjectedDisconnect : public std::runtime_error {
public:
    InjectedDisconnect()
        : std::runtime_error("injected fault: connection dropped during a dump or load") {}
};

// Messages of a statement, marked with the procedure and the line they come from. A message
// relayed from another server (the Backup Server's) keeps the routine and line it came with.
class StatementMessages : public MessageSink {
public:
    StatementMessages(ExecutionContext& context, std::string procedure, int line)
        : context_(context), procedure_(std::move(procedure)), line_(line) {}
    void send(const ServerMessage& message) override {
        ServerMessage copy = message;
        if (copy.server.empty()) {
            copy.procedure = procedure_;
            copy.line = line_;
        }
        context_.sink().message(copy);
    }
    void at(int line) { line_ = line; }
    bool cancelRequested() override { return context_.sink().cancelRequested(); }

private:
    ExecutionContext& context_;
    std::string procedure_;
    int line_;
};

StatementOutcome syntaxError(ExecutionContext& context, const Statement& statement,
                             const std::string& near);

// A result set of a procedure: its row format, its rows and a done-in-proc token.
void sendResult(ExecutionContext& context, const ResultSet& result);

struct StoredProcedure {
    std::string database;
    std::string text;
};

// The current database first; a name starting with sp_ also in sybsystemprocs, then master.
std::optional<StoredProcedure> findStored(ExecutionContext& context, const std::string& name);

}  // namespace tvr::sim
