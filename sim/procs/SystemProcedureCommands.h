#pragma once
// The system procedures of procedures, dump and load: sp_helpserver, sp_configure
// 'xp_cmdshell context', xp_cmdshell and sp_helptext.
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

}  // namespace tvr::sim
