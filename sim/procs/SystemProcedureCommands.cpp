#include "sim/procs/SystemProcedureCommands.h"

#include <string>

#include "sim/backup/ServerErrors.h"
#include "sim/procs/CommandSupport.h"
#include "sim/procs/SystemProcedures.h"
#include "sim/statements/SqlLexer.h"

namespace tvr::sim {

std::int32_t spHelpserver(BackupServices& services, ExecutionContext& context,
                          const ProcedureArguments& arguments) {
    std::optional<std::string> backupName;
    if (services.options().backupEntry) backupName = services.backup().networkName();
    ResultSet result = helpServerResult(context.server().serverName(), backupName);
    if (auto wanted = arguments.get("@server", 0)) {
        std::erase_if(result.rows, [&](const Row& row) {
            return asciiLower(std::get<std::string>(row[0])) != asciiLower(*wanted);
        });
    }
    sendResult(context, result);
    return 0;
}

std::int32_t spConfigure(BackupServices& services, ExecutionContext& context,
                         const ProcedureArguments& arguments) {
    static const std::string kParameter = "xp_cmdshell context";
    const auto name = arguments.get("@configname", 0);
    if (name && asciiLower(kParameter).find(asciiLower(*name)) == std::string::npos) {
        ServerMessage message = errors::noSuchOption(*name);
        message.procedure = "sp_configure";
        context.sink().message(message);
        return 1;
    }
    if (name) {
        if (auto value = arguments.get("@configvalue", 1)) {
            try {
                services.setXpCmdshellContext(std::stoi(*value));
            } catch (const std::exception&) {
                ServerMessage message = errors::badConversion();
                message.procedure = "sp_configure";
                context.sink().message(message);
                return 1;
            }
        }
    }
    sendResult(context, configureResult(kParameter, 1, services.xpCmdshellContext()));
    return 0;
}

std::int32_t xpCmdshell(BackupServices& services, ExecutionContext& context,
                        const ProcedureArguments& arguments) {
    const auto command = arguments.get("@command", 0);
    ShellOutcome outcome = runShellCommand(command.value_or(""), services.backup());
    if (outcome.output) sendResult(context, *outcome.output);
    if (outcome.error) {
        ServerMessage message = *outcome.error;
        message.procedure = "xp_cmdshell";
        context.sink().message(message);
    }
    return outcome.status;
}

std::int32_t spHelptext(ExecutionContext& context, const ProcedureArguments& arguments) {
    const auto name = arguments.get("@objname", 0);
    const auto found = name ? findStored(context, *name) : std::nullopt;
    if (!found) {
        ServerMessage message = errors::noTextForObject();
        message.procedure = "sp_helptext";
        context.sink().message(message);
        return 1;
    }
    for (const ResultSet& result : helpTextResults(found->text)) sendResult(context, result);
    return 0;
}

}  // namespace tvr::sim
