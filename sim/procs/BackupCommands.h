#pragma once
// Procedures, dump and load and the Backup Server as statements of the emulated server:
//  - create procedure / drop procedure, kept per database (sp_helptext returns the text);
//  - the existence test on sysobjects that installation scripts put before a drop;
//  - calls of created procedures: sp_TVR runs natively (sim/procs/SpTvr.h); sp_ procedures
//    in sybsystemprocs are found from every database; a missing one gives 2812;
//  - sp_helpserver, sp_configure 'xp_cmdshell context', xp_cmdshell 'net start ...', sp_helptext;
//  - dump database/transaction, load database/transaction, online database;
//  - "emulator fault drop|error N|stall N|clear", the statement only this emulator knows.
#include <memory>

#include "sim/ServerState.h"
#include "sim/StatementHandlers.h"
#include "sim/backup/BackupServer.h"
#include "sim/backup/Faults.h"
#include "sim/procs/ExtensionOptions.h"

namespace tvr::sim {

// The Backup Server of one data server, bound to that server's catalog.
class BackupServices : public DatabaseHost {
public:
    BackupServices(ServerState& server, const ExtensionOptions& options);

    BackupServer& backup() { return *backup_; }
    FaultPlan& faults() { return faults_; }
    const ExtensionOptions& options() const { return options_; }
    ServerState& server() { return server_; }
    int xpCmdshellContext() const { return xpCmdshellContext_.load(); }
    void setXpCmdshellContext(int value) { xpCmdshellContext_ = value; }

    std::optional<std::filesystem::path> databaseFile(const std::string& name) override;
    int usersOf(const std::string& name) override;
    bool isLoading(const std::string& name) override;
    void setLoading(const std::string& name, bool loading) override;

private:
    ServerState& server_;
    ExtensionOptions options_;
    FaultPlan faults_;
    std::atomic<int> xpCmdshellContext_;
    std::unique_ptr<BackupServer> backup_;
};

// Registers the statements and procedures above; services must outlive the command set.
void addBackupCommands(CommandSet& commands, BackupServices& services);

}  // namespace tvr::sim
