#include "sim/procs/BackupCommands.h"

#include "sim/procs/BackupStatements.h"
#include "sim/procs/DumpLoadCommands.h"
#include "sim/procs/DumpableStatus.h"
#include "sim/procs/ProcedureCommands.h"
#include "sim/procs/ProcedureStatements.h"
#include "sim/procs/SelectIntoCommand.h"
#include "sim/procs/SystemProcedureCommands.h"

namespace tvr::sim {

void addBackupCommands(CommandSet& commands, BackupServices& services) {
    commands.splitter.addStatementKeyword("emulator");
    addDumpableStatusFunction(commands, services);
    // Added first, so that they take their statements before the ordinary ones; the stall goes
    // first of all.
    commands.addFirst({"emulator fault",
                       [](const Statement& s) {
                           return s.startsWith({"emulator", "fault"});
                       },
                       [&services](ExecutionContext& c, const Statement& s) {
                           return runFault(services, c, s);
                       }});
    commands.addFirst({"drop procedure",
                       [](const Statement& s) { return dropProcedureNames(s.tokens).has_value(); },
                       runDropProcedure});
    commands.addFirst({"create procedure",
                       [](const Statement& s) { return createProcedureName(s.tokens).has_value(); },
                       runCreateProcedure});
    commands.addFirst({"select into",
                       [](const Statement& s) { return selectIntoTarget(s.tokens).has_value(); },
                       runSelectInto});
    commands.addFirst({"dump and load",
                       [](const Statement& s) { return isBackupStatement(s.tokens); },
                       [&services](ExecutionContext& c, const Statement& s) {
                           return runBackupStatement(services, c, s);
                       }});
    commands.addFirst({"stall",
                       [&services](const Statement&) { return services.faults().stallArmed(); },
                       [&services](ExecutionContext& c, const Statement& s) {
                           return runStall(services, c, s);
                       }});

    commands.conditionTest = testObjectCondition;
    commands.storedProcedures = [&services](ExecutionContext& c, const std::string& name,
                                            const ProcedureArguments& a, const Statement& s) {
        return runStoredProcedure(services, c, name, a, s);
    };
    commands.addProcedure("sp_helpserver",
                          [&services](ExecutionContext& c, const ProcedureArguments& a,
                                      const Statement&) { return spHelpserver(services, c, a); });
    commands.addProcedure("sp_configure",
                          [&services](ExecutionContext& c, const ProcedureArguments& a,
                                      const Statement&) { return spConfigure(services, c, a); });
    commands.addProcedure("xp_cmdshell",
                          [&services](ExecutionContext& c, const ProcedureArguments& a,
                                      const Statement&) { return xpCmdshell(services, c, a); });
    commands.addProcedure("sp_dboption", [](ExecutionContext& c, const ProcedureArguments& a,
                                            const Statement&) { return spDboption(c, a); });
    commands.addProcedure("sp_helptext", [](ExecutionContext& c, const ProcedureArguments& a,
                                            const Statement&) { return spHelptext(c, a); });
}

}  // namespace tvr::sim
