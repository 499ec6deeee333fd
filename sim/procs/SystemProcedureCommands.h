#pragma once
// The system procedures of procedures, dump and load: sp_helpserver, sp_configure
// 'xp_cmdshell context', xp_cmdshell, sp_helptext and sp_dboption.
#include <cstdint>

#include "sim/procs/BackupServices.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

std::int32_t spHelpserver(BackupServices& services, ExecutionContext& context,
                          const ProcedureArguments& arguments);
std::int32_t spConfigure(BackupServices& services, ExecutionContext& context,
                         const ProcedureArguments& arguments);
std::int32_t xpCmdshell(BackupServices& services, ExecutionContext& context,
                        const ProcedureArguments& arguments);
std::int32_t spHelptext(ExecutionContext& context, const ProcedureArguments& arguments);
// sp_dboption [dbname [, optname, {true | false}]]: the settable options, those a database has,
// or sets one ("trunc log on chkpt", "select into/bulkcopy/pllsort").
std::int32_t spDboption(ExecutionContext& context, const ProcedureArguments& arguments);

}  // namespace tvr::sim
