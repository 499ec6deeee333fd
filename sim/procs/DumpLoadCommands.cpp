#include "sim/procs/DumpLoadCommands.h"

#include <chrono>
#include <thread>

#include "sim/procs/BackupStatements.h"
#include "sim/procs/CommandSupport.h"
#include "sim/procs/ProcedureCommands.h"
#include "sim/statements/ServerMessages.h"

namespace tvr::sim {

StatementOutcome runBackupStatement(BackupServices& services, ExecutionContext& context,
                                    const Statement& statement) {
    std::string near;
    const auto parsed = parseBackupStatement(statement.tokens, near);
    if (!parsed) return syntaxError(context, statement, near);
    StatementMessages out(context, "", statement.line);
    BackupServer& backup = services.backup();
    BackupResult result;
    switch (parsed->kind) {
        case BackupStatement::Kind::DumpDatabase:
            result = backup.dumpDatabase(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::DumpTransaction:
            result =
                backup.dumpTransaction(parsed->database, parsed->device, out, parsed->noTruncate);
            break;
        case BackupStatement::Kind::TruncateLog:
            result = backup.truncateLog(parsed->database, out);
            break;
        case BackupStatement::Kind::LoadDatabase:
            result = backup.loadDatabase(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::LoadTransaction:
            result = backup.loadTransaction(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::LoadHeader:
            result = backup.readHeader(parsed->database, parsed->device, out);
            break;
        case BackupStatement::Kind::Online:
            result = backup.onlineDatabase(parsed->database, out, parsed->standby);
            break;
    }
    if (result.dropConnection) throw InjectedDisconnect();
    StatementOutcome outcome;
    outcome.cancelled = result.cancelled;
    outcome.error = result.error != 0;
    return outcome;
}

StatementOutcome runFault(BackupServices& services, ExecutionContext& context,
                          const Statement& statement) {
    std::string description;
    for (std::size_t i = 2; i < statement.tokens.size(); ++i) {
        const SqlToken& t = statement.tokens[i];
        if (!description.empty()) description += ' ';
        description += t.kind == SqlToken::Kind::String ? t.value : t.text;
    }
    std::string why;
    if (!services.armFault(description, why))
        return failStatement(context, statement, errors::badFault(why));
    ServerMessage done = messages::print("Fault armed: " + description + ".");
    done.line = statement.line;
    context.sink().message(done);
    return {};
}

StatementOutcome runStall(BackupServices& services, ExecutionContext& context,
                          const Statement& statement) {
    const int seconds = services.faults().takeStallSeconds();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (context.sink().cancelRequested()) {
            StatementOutcome cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return dispatch(context, statement);
}

}  // namespace tvr::sim
