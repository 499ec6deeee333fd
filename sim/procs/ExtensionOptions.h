#pragma once
// The command-line options of procedures, dump and load and the Backup Server. They are taken
// out of aseemu's argument list before the base options are read:
//   --backup-server running|stopped   the Backup Server's state at start (default running)
//   --backup-name NAME                its network name in sp_helpserver (default SERVER_BS)
//   --no-backup-entry                 no SYB_BACKUP row in sp_helpserver
//   --backup-entry NAME               the row's name as sp_helpserver spells it (default SYB_BACKUP)
//   --xp-cmdshell-context N           the "Run Value" of sp_configure 'xp_cmdshell context' (default 1)
//   --io-rate MBPS                    dumps and loads move at most MBPS megabytes a second
//   --fault SPEC                      arms a fault at start: drop, error:N, stall:N (repeatable)
#include <optional>
#include <string>
#include <vector>

namespace tvr::sim {

struct ExtensionOptions {
    bool backupRunning = true;
    std::optional<std::string> backupName;  // nothing: the server's name followed by _BS
    bool backupEntry = true;
    std::string backupEntryName = "SYB_BACKUP";  // servers keep the case it was added in
    int xpCmdshellContext = 1;
    double ioRateMBps = 0;
    std::vector<std::string> faults;
};

// Removes the options above from arguments and returns them. Throws std::invalid_argument with
// a readable reason for a missing or malformed value.
ExtensionOptions takeExtensionOptions(std::vector<std::string>& arguments);

std::string extensionUsage();

}  // namespace tvr::sim
