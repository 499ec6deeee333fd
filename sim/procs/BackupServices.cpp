#include "sim/procs/BackupServices.h"

#include <system_error>

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
    for (const std::string& fault : options.faults) armFault(fault, why);
}

bool BackupServices::armFault(const std::string& description, std::string& why) {
    if (!faults_.arm(description, why)) return false;
    bool known = true;
    for (const std::string& name : faults_.takeDamaged()) {
        if (!server_.findDatabase(name)) {
            why = "no database '" + name + "' to damage";
            known = false;
            continue;
        }
        // The data is damaged, the log is not: only a dump with no_truncate still works.
        server_.setDatabaseSuspect(name, true);
    }
    return known;
}

std::optional<std::filesystem::path> BackupServices::databaseFile(const std::string& name) {
    if (!server_.findDatabase(name)) return std::nullopt;
    return server_.databasePath(name);
}

bool BackupServices::holdsFile(const std::filesystem::path& file) {
    std::error_code error;
    const auto where = std::filesystem::weakly_canonical(file, error);
    if (error) return false;
    const auto data = std::filesystem::weakly_canonical(server_.options().dataDir, error);
    if (error || where.parent_path() != data) return false;
    const std::string name = where.filename().string();
    for (const char* suffix : {".db", ".db-wal", ".db-shm", ".db-journal"}) {
        const std::string end(suffix);
        if (name.size() > end.size() &&
            name.compare(name.size() - end.size(), end.size(), end) == 0)
            return true;
    }
    return false;
}

int BackupServices::usersOf(const std::string& name) { return server_.usersOf(name); }

bool BackupServices::isLoading(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info && info->state == DatabaseState::Loading;
}

bool BackupServices::isSuspect(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info && info->suspect;
}

void BackupServices::setSuspect(const std::string& name, bool suspect) {
    server_.setDatabaseSuspect(name, suspect);
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
        log.readOnly = info->readOnly;
    }
    return log;
}

std::uint64_t BackupServices::databaseSizeKB(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info ? info->sizeKB : 0;
}

std::uint32_t BackupServices::databaseId(const std::string& name) {
    const auto info = server_.findDatabase(name);
    return info ? static_cast<std::uint32_t>(info->id) : 0;
}

}  // namespace tvr::sim
