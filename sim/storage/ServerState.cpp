#include "sim/storage/ServerState.h"

#include "sim/storage/TransactionLog.h"

#include <filesystem>
#include <stdexcept>

namespace tvr::sim {
namespace {

struct SystemDatabase {
    const char* name;
    int id;
    std::uint64_t sizeMB;
};

// master and sybsystemprocs at the smallest sizes the server allows on 2K pages, the others at
// the default size.
const SystemDatabase SystemDatabases[] = {
    {"master", 1, 13},
    {"tempdb", 2, kDefaultDatabaseSizeMB},
    {"model", 3, kDefaultDatabaseSizeMB},
    {"sybsystemdb", 31513, kDefaultDatabaseSizeMB},
    {"sybsystemprocs", 31514, 136},
};

// sysusages keeps the space of each database as the server does, in 2K pages, a row per
// piece: segment map 3 (system and default segments) for data, 4 for a log of its own, 7 for
// data and log together.
constexpr std::uint64_t kPageKB = 2;
constexpr int kSegmentsData = 3, kSegmentsLog = 4, kSegmentsMixed = 7;

// The catalog keeps the server's own status bits: 4 "select into/bulkcopy/pllsort", 8 "trunc
// log on chkpt", 32 "created for load", 256 "suspect", 1024 "read only", and in status2 16
// "offline" and 32768 "log and data share devices". A loading database carries both 32 and 16.
constexpr int kStatusSelectInto = 4, kStatusTruncLog = 8, kStatusForLoad = 32;
constexpr int kStatusSuspect = 256, kStatusReadOnly = 1024;
constexpr int kStatus2Offline = 16, kStatus2MixedLog = 32768;

std::int64_t statusOf(const DatabaseInfo& info) {
    return (info.state == DatabaseState::Loading ? kStatusForLoad : 0) |
           (info.truncLogOnCheckpoint ? kStatusTruncLog : 0) |
           (info.selectIntoBulkcopy ? kStatusSelectInto : 0) | (info.suspect ? kStatusSuspect : 0) |
           (info.readOnly ? kStatusReadOnly : 0);
}
std::int64_t status2Of(const DatabaseInfo& info) {
    return (info.state == DatabaseState::Online ? 0 : kStatus2Offline) |
           (info.mixedLog ? kStatus2MixedLog : 0);
}

DatabaseState stateOf(std::int64_t status, std::int64_t status2) {
    if ((status2 & 16) == 0) return DatabaseState::Online;
    return (status & 32) != 0 ? DatabaseState::Loading : DatabaseState::Offline;
}

}  // namespace

bool isSystemDatabase(const std::string& name) {
    for (const SystemDatabase& db : SystemDatabases)
        if (name == db.name) return true;
    return false;
}

ServerState::ServerState(ServerOptions options) : options_(std::move(options)) {
    std::error_code error;
    std::filesystem::create_directories(options_.dataDir, error);
    if (error)
        throw std::runtime_error("cannot create data folder " + options_.dataDir + ": " +
                                 error.message());

    master_ = std::make_unique<SqliteDatabase>(databasePath("master"), true);
    master_->execute(
        "CREATE TABLE IF NOT EXISTS sysdatabases (name varchar(30) PRIMARY KEY, dbid smallint NOT NULL, "
        "suid int NOT NULL DEFAULT 1, status smallint NOT NULL DEFAULT 0, "
        "status2 smallint NOT NULL DEFAULT 0, crdate datetime)");
    master_->execute(
        "CREATE TABLE IF NOT EXISTS sysusages (dbid smallint NOT NULL, segmap int NOT NULL, "
        "lstart int NOT NULL, size int NOT NULL, vstart int NOT NULL DEFAULT 0)");
    TransactionLog::ensure(*master_);

    {
        SqliteStatement rows(*master_, "SELECT name, dbid, status, status2 FROM sysdatabases");
        while (rows.step()) {
            DatabaseInfo info;
            info.name = rows.text(0);
            info.id = static_cast<int>(rows.integer(1));
            info.state = stateOf(rows.integer(2), rows.integer(3));
            info.system = isSystemDatabase(info.name);
            info.truncLogOnCheckpoint = (rows.integer(2) & kStatusTruncLog) != 0;
            info.selectIntoBulkcopy = (rows.integer(2) & kStatusSelectInto) != 0;
            info.mixedLog = (rows.integer(3) & kStatus2MixedLog) != 0;
            info.suspect = (rows.integer(2) & kStatusSuspect) != 0;
            info.readOnly = (rows.integer(2) & kStatusReadOnly) != 0;
            databases_[info.name] = info;
        }
    }
    std::map<int, std::uint64_t> pages;
    {
        SqliteStatement rows(*master_, "SELECT dbid, sum(size) FROM sysusages GROUP BY dbid");
        while (rows.step())
            pages[static_cast<int>(rows.integer(0))] = static_cast<std::uint64_t>(rows.integer(1));
    }
    for (auto& [name, info] : databases_) {
        // A catalog written before sizes were kept: the default size, recorded now.
        if (pages.count(info.id) == 0) {
            DatabaseSize size;
            for (const SystemDatabase& db : SystemDatabases)
                if (name == db.name) size.dataKB = db.sizeMB * 1024;
            persistSize(info.id, size);
            pages[info.id] = size.totalKB() / kPageKB;
        }
        info.sizeKB = pages[info.id] * kPageKB;
    }
    auto addRow = [&](const std::string& name, int id, std::uint64_t sizeMB) {
        addCatalogRow(name, id);
        DatabaseInfo info;
        info.name = name;
        info.id = id;
        info.system = isSystemDatabase(name);
        DatabaseSize size;
        size.dataKB = sizeMB * 1024;
        info.sizeKB = size.totalKB();
        persistSize(id, size);
        databases_[name] = info;
    };
    for (const SystemDatabase& db : SystemDatabases) {
        if (std::string(db.name) != "master")
            createDatabaseFile(db.name, std::string(db.name) == "tempdb");
        if (databases_.count(db.name) == 0) addRow(db.name, db.id, db.sizeMB);
    }
    for (const std::string& name : options_.databases) {
        if (databases_.count(name) != 0) continue;
        DatabaseSize size;
        if (auto given = options_.databaseSizesMB.find(name);
            given != options_.databaseSizesMB.end())
            size.dataKB = given->second * 1024;
        createDatabase(name, options_.mixedLogDatabases.count(name) != 0, size);
    }
}

bool ServerState::checkLogin(const std::string& user, const std::string& password) const {
    for (const auto& [name, secret] : options_.logins)
        if (name == user && secret == password) return true;
    return false;
}

std::vector<DatabaseInfo> ServerState::databases() const {
    std::lock_guard lock(mutex_);
    std::vector<DatabaseInfo> result;
    for (const auto& entry : databases_) result.push_back(entry.second);
    return result;
}

std::optional<DatabaseInfo> ServerState::findDatabase(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = databases_.find(name);
    if (found == databases_.end()) return std::nullopt;
    return found->second;
}

std::string ServerState::databasePath(const std::string& name) const {
    return (std::filesystem::path(options_.dataDir) / (name + ".db")).string();
}

void ServerState::createDatabaseFile(const std::string& name, bool replace) {
    std::string path = databasePath(name);
    if (replace) {
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    }
    SqliteDatabase db(path, true);
    TransactionLog::ensure(db);
}

DatabaseInfo ServerState::createDatabase(const std::string& name, bool mixedLog,
                                         DatabaseSize size) {
    std::lock_guard lock(mutex_);
    if (databases_.count(name) != 0) throw std::runtime_error("database " + name + " exists");
    int id = 4;
    for (const auto& entry : databases_)
        if (!entry.second.system && entry.second.id >= id) id = entry.second.id + 1;
    createDatabaseFile(name, true);
    addCatalogRow(name, id);
    DatabaseInfo info;
    info.name = name;
    info.id = id;
    info.mixedLog = mixedLog;
    info.sizeKB = size.totalKB();
    databases_[name] = info;
    persistState(info);
    persistSize(id, size);
    return info;
}

void ServerState::setDatabaseState(const std::string& name, DatabaseState state) {
    std::lock_guard lock(mutex_);
    auto found = databases_.find(name);
    if (found == databases_.end()) throw std::runtime_error("no database " + name);
    found->second.state = state;
    persistState(found->second);
}

void ServerState::setDatabaseSuspect(const std::string& name, bool suspect) {
    std::lock_guard lock(mutex_);
    auto found = databases_.find(name);
    if (found == databases_.end()) throw std::runtime_error("no database " + name);
    found->second.suspect = suspect;
    persistState(found->second);
}

bool ServerState::setDatabaseOption(const std::string& name, const std::string& option, bool on) {
    std::lock_guard lock(mutex_);
    auto found = databases_.find(name);
    if (found == databases_.end()) throw std::runtime_error("no database " + name);
    if (option == kTruncLogOnCheckpoint)
        found->second.truncLogOnCheckpoint = on;
    else if (option == kSelectIntoBulkcopy)
        found->second.selectIntoBulkcopy = on;
    else if (option == kReadOnly)
        found->second.readOnly = on;
    else
        return false;
    persistState(found->second);
    return true;
}

void ServerState::persistState(const DatabaseInfo& info) {
    SqliteStatement update(*master_,
                           "UPDATE sysdatabases SET status = ?, status2 = ? WHERE name = ?");
    update.bind(1, statusOf(info)).bind(2, status2Of(info)).bind(3, info.name).step();
}

void ServerState::addCatalogRow(const std::string& name, int dbid) {
    SqliteStatement insert(*master_,
                           "INSERT INTO sysdatabases (name, dbid, crdate) VALUES (?, ?, "
                           "strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))");
    insert.bind(1, name).bind(2, static_cast<std::int64_t>(dbid)).step();
}

void ServerState::persistSize(int dbid, const DatabaseSize& size) {
    SqliteStatement clear(*master_, "DELETE FROM sysusages WHERE dbid = ?");
    clear.bind(1, static_cast<std::int64_t>(dbid)).step();
    auto piece = [&](int segmap, std::uint64_t lstart, std::uint64_t kb) {
        SqliteStatement insert(*master_,
                               "INSERT INTO sysusages (dbid, segmap, lstart, size) VALUES (?, ?, "
                               "?, ?)");
        insert.bind(1, static_cast<std::int64_t>(dbid))
            .bind(2, static_cast<std::int64_t>(segmap))
            .bind(3, static_cast<std::int64_t>(lstart))
            .bind(4, static_cast<std::int64_t>(kb / kPageKB))
            .step();
    };
    piece(size.logKB == 0 ? kSegmentsMixed : kSegmentsData, 0, size.dataKB);
    if (size.logKB != 0) piece(kSegmentsLog, size.dataKB / kPageKB, size.logKB);
}

void ServerState::enterDatabase(const std::string& name) {
    std::lock_guard lock(mutex_);
    ++users_[name];
}

void ServerState::leaveDatabase(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto found = users_.find(name);
    if (found != users_.end() && --found->second <= 0) users_.erase(found);
}

int ServerState::usersOf(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = users_.find(name);
    return found == users_.end() ? 0 : found->second;
}

void ServerState::updateSession(const SessionInfo& session) {
    std::lock_guard lock(mutex_);
    sessions_[session.id] = session;
}

void ServerState::removeSession(int id) {
    std::lock_guard lock(mutex_);
    sessions_.erase(id);
}

std::vector<SessionInfo> ServerState::sessions() const {
    std::lock_guard lock(mutex_);
    std::vector<SessionInfo> all;
    for (const auto& [id, session] : sessions_) all.push_back(session);
    return all;
}

}  // namespace tvr::sim
