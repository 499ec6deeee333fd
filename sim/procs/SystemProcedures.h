#pragma once
// The results of the system procedures that a dump-shipping client asks about its servers:
// sp_helpserver, sp_configure 'xp_cmdshell context', xp_cmdshell 'net start ...' for the
// Backup Server's service, and sp_helptext.
#include <optional>
#include <string>
#include <vector>

#include "sim/backup/BackupServer.h"
#include "sim/backup/ServerErrors.h"
#include "sim/statements/Values.h"

namespace tvr::sim {

struct ResultSet {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// Rows for the local server and, when it has one, for SYB_BACKUP (spelt `entryName`) with the
// Backup Server's network name; server name first, network name second, ordered by name.
ResultSet helpServerResult(const std::string& serverName,
                           const std::optional<std::string>& backupNetworkName,
                           const std::string& entryName = "SYB_BACKUP");

// One row for the parameter, with the columns a server returns ("Parameter Name", "Default",
// "Memory Used", "Config Value", "Run Value", "Unit", "Type").
ResultSet configureResult(const std::string& parameterName, int defaultValue, int runValue);

struct ShellOutcome {
    std::optional<ResultSet> output;  // the lines the command printed
    int status = 0;                   // the procedure's return status
    std::optional<ServerError> error;
};

// xp_cmdshell: only "net start "Sybase BCKServer _ NAME"" is carried out; it starts the
// Backup Server when NAME is its network name and prints what net start prints. Any other
// command is not run: status 1 and an output row that says so.
ShellOutcome runShellCommand(const std::string& command, BackupServer& backup);

// sp_helptext: the number of text rows, then the text in rows of at most 255 characters.
std::vector<ResultSet> helpTextResults(const std::string& text);

}  // namespace tvr::sim
