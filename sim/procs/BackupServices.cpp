#include "sim/procs/BackupServices.h"

namespace tvr::sim {

BackupServices::BackupServices(ServerState& server, const ExtensionOptions& options)
    : server_(server), options_(options), xpCmdshellContext_(options.xpCmdshellContext) {
    BackupServerOptions backup;
    backup.serverName = server.serverName();
    backup.networkName = options.backupName.value_or(server.serverName() + "_BS");
    backup.running = options.backupRunning;
    backup.listed = options.backupEntry;
    backup.ioRateMBps = options.ioRateMBps;
    backup.scratchFolder = std::filesystem::path(server.options().dataDir) / "backup-scratch";
    backup_ = std::make_unique<BackupServer>(backup, *this, faults_);
    std::string why;
    for (const std::string& fault : options.faults) faults_.arm(fault, why);
}

std::optional<std::filesystem::path> BackupServices::databaseFile(const std::string& name) {
    if (!server_.findDatabase(name)) return std::nullopt;
    return server_.databasePath(name);
}

int BackupServices::usersOf(const std::string& name) { return server_.usersOf(name); }

bool BackupServices::isLoading(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info && info->state == DatabaseState::Loading;
}

void BackupServices::setLoading(const std::string& name, bool loading) {
    server_.setDatabaseState(name, loading ? DatabaseState::Loading : DatabaseState::Online);
}

}  // namespace tvr::sim

namespace tvr::sim {

LogDumpability BackupServices::logDumpability(const std::string& name) {
    LogDumpability log;
    if (const auto info = server_.findDatabase(name)) {
        log.mixedLog = info->mixedLog;
        log.truncLogOnCheckpoint = info->truncLogOnCheckpoint;
    }
    return log;
}

std::uint64_t BackupServices::databaseSizeKB(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info ? info->sizeKB : 0;
}

}  // namespace tvr::sim
