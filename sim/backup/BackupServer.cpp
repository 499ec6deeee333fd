#include "sim/backup/BackupServer.h"

#include <unistd.h>

#include "sim/backup/BackupOperation.h"

namespace tvr::sim {

BackupServer::BackupServer(BackupServerOptions options, DatabaseHost& host, FaultPlan& faults)
    : options_(std::move(options)), host_(host), faults_(faults), running_(options_.running) {
    std::filesystem::create_directories(options_.scratchFolder);
}

std::mutex& BackupServer::lockFor(const std::string& database) {
    std::lock_guard lock(locksMutex_);
    auto& slot = locks_[database];
    if (!slot) slot = std::make_unique<std::mutex>();
    return *slot;
}

void BackupServer::lookAt(const std::string& database, const std::filesystem::path& file,
                          const std::function<void(sqlite3*)>& look) {
    std::unique_lock lock(lockFor(database), std::try_to_lock);
    if (lock.owns_lock()) return look(kept_.get(database, file));
    SqliteHandle own(file);
    look(own.db);
}

std::filesystem::path BackupServer::scratchFile(const std::string& database, const char* what) {
    return options_.scratchFolder / (database + "." + what + "." + std::to_string(::getpid()) +
                                     "." + std::to_string(scratchCounter_++));
}

BackupResult BackupServer::runOperation(const std::string& database, const std::string& device,
                                        Access access, MessageSink& to, const OperationBody& body) {
    RelayedMessages sink(to, options_.networkName);
    Operation op(*this, sink, device);
    BackupResult failed;
    auto started = op.start(database, access, failed);
    if (!started) return failed;
    return body(op, started->file, started->fault);
}

BackupResult BackupServer::truncateLog(const std::string& database, MessageSink& sink) {
    // Done by the data server itself: no Backup Server needed, nothing written.
    Operation op(*this, sink, "");
    const auto file = host_.databaseFile(database);
    if (!file) return op.fail(messages::noSuchDatabase(database));
    if (host_.isSuspect(database)) return op.fail(messages::databaseSuspect(database));
    if (host_.isLoading(database)) return op.fail(messages::databaseOffline(database));
    std::lock_guard lock(lockFor(database));
    try {
        sqlite3* db = kept_.get(database, *file);
        logchain::ensure(db);
        SqliteHandle::execute(db, "BEGIN IMMEDIATE");
        const LogPosition pos = logchain::position(db);
        logchain::truncate(db, pos.last, true);
        SqliteHandle::execute(db, "COMMIT");
    } catch (const LogError& e) {
        return op.fail(messages::systemMessage(errors::kBackupServerError, 16, 1,
                                               "Cannot truncate the log: " + e.message));
    }
    return {};
}

BackupResult BackupServer::onlineDatabase(const std::string& database, MessageSink& sink,
                                          bool standby) {
    Operation op(*this, sink, "");
    const auto file = host_.databaseFile(database);
    if (!file) return op.fail(messages::noSuchDatabase(database));
    std::lock_guard lock(lockFor(database));
    // A load that stopped part way, or damaged data: bringing it online would serve a database
    // that is not whole. A new load sequence (load database) clears the mark.
    if (host_.isSuspect(database)) return op.fail(messages::databaseSuspect(database));
    if (!host_.isLoading(database)) return {};  // already online: nothing to do, no message
    try {
        {
            sqlite3* db = kept_.get(database, *file);
            LoadPosition position = logchain::loadPosition(db);
            position.standby = standby;
            logchain::setLoadPosition(db, position);
        }
        host_.setLoading(database, false);
    } catch (const std::exception& e) {
        return op.fail(messages::systemMessage(errors::kBackupServerError, 16, 1, e.what()));
    }
    sink.send(serverInfo("Database '" + database + "' is now online."));
    return {};
}

}  // namespace tvr::sim
