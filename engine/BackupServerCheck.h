#pragma once
// The check made on each server before processing starts: is a Backup Server (SYB_BACKUP)
// defined, and, where the server runs operating-system commands in its own account, have it
// start the Backup Server's service. It only informs and helps; the start goes on whatever
// it finds.
#include "client/Sybase.h"
#include "platform/Prompts.h"

#include <string>

namespace tvr::engine {

// The command that has the server start the service of the Backup Server whose network name
// is `networkName`: xp_cmdshell 'net start "Sybase BCKServer _ NAME"'.
std::string backupServiceStartCommand(const std::string& networkName);

// Runs sp_helpserver on `connection`; without a SYB_BACKUP row (any letter case, any row)
// shows "BACKUP server not found" (caption "Error", OK, no icon, owned by `owner`) and ends.
// Otherwise reads "Run Value" of sp_configure 'xp_cmdshell context' and, when it is 0, sends
// the service start command with that row's network name. A "Run Value" that is missing or
// not a whole number starts nothing and says nothing. Nothing else is examined: the servers'
// messages go to the logs. A log file that cannot be written raises LogFileError.
void CheckBackupServer(platform::PromptOwner owner, client::TSybaseConnect& connection);

}  // namespace tvr::engine
