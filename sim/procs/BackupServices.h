#pragma once
// The Backup Server of one data server and what its statements share: the faults armed for
// them, the extension options, the xp_cmdshell context.
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "sim/backup/BackupServer.h"
#include "sim/backup/Faults.h"
#include "sim/procs/ExtensionOptions.h"
#include "sim/storage/ServerState.h"

namespace tvr::sim {

// The Backup Server of one data server, bound to that server's catalog.
class BackupServices : public DatabaseHost {
public:
    BackupServices(ServerState& server, const ExtensionOptions& options);

    BackupServer& backup() { return *backup_; }
    FaultPlan& faults() { return faults_; }
    // Arms a fault as FaultPlan::arm does and marks the databases "damage DB" names suspect;
    // false with the reason when the description or a database name is wrong.
    bool armFault(const std::string& description, std::string& why);
    const ExtensionOptions& options() const { return options_; }
    ServerState& server() { return server_; }
    int xpCmdshellContext() const { return xpCmdshellContext_.load(); }
    void setXpCmdshellContext(int value) { xpCmdshellContext_ = value; }

    std::optional<std::filesystem::path> databaseFile(const std::string& name) override;
    int usersOf(const std::string& name) override;
    bool isLoading(const std::string& name) override;
    bool isSuspect(const std::string& name) override;
    void setSuspect(const std::string& name, bool suspect) override;
    void setLoading(const std::string& name, bool loading) override;
    LogDumpability logDumpability(const std::string& name) override;
    std::uint64_t databaseSizeKB(const std::string& name) override;
    std::uint32_t databaseId(const std::string& name) override;
    bool holdsFile(const std::filesystem::path& file) override;

private:
    ServerState& server_;
    ExtensionOptions options_;
    FaultPlan faults_;
    std::atomic<int> xpCmdshellContext_;
    std::unique_ptr<BackupServer> backup_;
};

}  // namespace tvr::sim
