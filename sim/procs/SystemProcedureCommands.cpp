#include "sim/procs/SystemProcedureCommands.h"

#include <string>

#include "sim/backup/ServerErrors.h"
#include "sim/procs/CommandSupport.h"
#include "sim/procs/SystemProcedures.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"

namespace tvr::sim {

std::int32_t spHelpserver(BackupServices& services, ExecutionContext& context,
                          const ProcedureArguments& arguments) {
    std::optional<std::string> backupName;
    if (services.options().backupEntry) backupName = services.backup().networkName();
    ResultSet result = helpServerResult(context.server().serverName(), backupName,
                                        services.options().backupEntryName);
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

std::int32_t spDboption(ExecutionContext& context, const ProcedureArguments& arguments) {
    static const char* const settable[] = {kReadOnly, kSelectIntoBulkcopy, kTruncLogOnCheckpoint};
    auto say = [&](const std::string& text) {
        ServerMessage message = messages::print(text);
        message.procedure = "sp_dboption";
        context.sink().message(message);
    };
    auto refuse = [&](ServerMessage message) {
        message.procedure = "sp_dboption";
        context.sink().message(message);
        return 1;
    };
    auto list = [&](const std::vector<std::string>& names) {
        ResultSet result;
        result.columns = {Column{"database_options", ColumnKind::VarChar, 30, true}};
        for (const std::string& name : names) result.rows.push_back({Value{name}});
        sendResult(context, result);
    };
    const auto database = arguments.get("@dbname", 0);
    if (!database) {
        say("Settable database options.");
        list({std::begin(settable), std::end(settable)});
        return 0;
    }
    const auto info = context.server().findDatabase(*database);
    if (!info) return refuse(messages::noSuchDatabase(*database));
    const auto option = arguments.get("@optname", 1);
    if (!option) {
        // The options set for the database.
        std::vector<std::string> set;
        if (info->readOnly) set.push_back(kReadOnly);
        if (info->selectIntoBulkcopy) set.push_back(kSelectIntoBulkcopy);
        if (info->truncLogOnCheckpoint) set.push_back(kTruncLogOnCheckpoint);
        list(set);
        return 0;
    }
    // A unique beginning of an option's name names it, as on the server.
    std::string matched;
    for (const char* name : settable)
        if (std::string(name).rfind(asciiLower(*option), 0) == 0)
            matched = matched.empty() ? name : "ambiguous";
    if (matched.empty() || matched == "ambiguous")
        return refuse(messages::systemMessage(
            17421, 16, 1, "The database option does not exist or you cannot set the option."));
    const std::string value = asciiLower(arguments.get("@optvalue", 2).value_or(""));
    if (value != "true" && value != "false")
        return refuse(messages::systemMessage(
            17422, 16, 1, "Usage: sp_dboption [dbname, optname, {true | false}]"));
    const bool on = value == "true";
    context.server().setDatabaseOption(*database, matched, on);
    say("Database option '" + matched + "' turned " + (on ? "ON" : "OFF") + " for database '" +
        *database + "'.");
    say("Running CHECKPOINT on database '" + *database + "' for option '" + matched +
        "' to take effect.");
    return 0;
}

}  // namespace tvr::sim
