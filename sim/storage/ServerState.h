#pragma once
// What one emulated server knows beyond a single connection: its name and logins, the catalog
// of databases with their states, which connections use which database, and the shutdown flag.
// Databases live under the data folder as NAME.db (SQLite), and the catalog is the table
// sysdatabases in master.db, so a restart on the same folder finds everything again.
#include "sim/ServerOptions.h"
#include "sim/storage/Sqlite.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tvr::sim {

enum class DatabaseState {
    Online,
    Loading,  // after a load, until online database: not usable
    Offline,
};

struct DatabaseInfo {
    std::string name;
    int id = 0;
    DatabaseState state = DatabaseState::Online;
    bool system = false;
    // Marked suspect: its data is damaged, or a load stopped part way through it. Nothing may
    // use it; only a transaction dump with no_truncate reads its log, and a load database
    // replaces it.
    bool suspect = false;
    // The log shares a device with the data (created without "log on"): no transaction dumps.
    bool mixedLog = false;
    bool truncLogOnCheckpoint = false;  // sp_dboption "trunc log on chkpt"
    bool selectIntoBulkcopy = false;    // sp_dboption "select into/bulkcopy/pllsort"
    bool readOnly = false;              // sp_dboption "read only": changes refused (3906)
    std::uint64_t sizeKB = 0;           // the space given to data and log together
};

// The space of a database as create database gives it: data, and log on a device of its own
// (0 when the log shares the data's space).
struct DatabaseSize {
    std::uint64_t dataKB = kDefaultDatabaseSizeMB * 1024;
    std::uint64_t logKB = 0;
    std::uint64_t totalKB() const { return dataKB + logKB; }
};

// A connection as sp_who lists it.
struct SessionInfo {
    int id = 0;
    std::string login;
    std::string host;
    std::string program;
    std::string database;
};

// The database options sp_dboption sets, by their names as the server spells them.
inline constexpr const char* kTruncLogOnCheckpoint = "trunc log on chkpt";
inline constexpr const char* kSelectIntoBulkcopy = "select into/bulkcopy/pllsort";
inline constexpr const char* kReadOnly = "read only";

class ServerState {
public:
    // Creates the data folder, the system databases and the configured user databases when
    // missing; tempdb starts empty on every start. Throws std::runtime_error when the folder
    // cannot be used.
    explicit ServerState(ServerOptions options);

    const ServerOptions& options() const { return options_; }
    const std::string& serverName() const { return options_.name; }
    bool checkLogin(const std::string& user, const std::string& password) const;

    std::vector<DatabaseInfo> databases() const;  // by name
    std::optional<DatabaseInfo> findDatabase(const std::string& name) const;
    std::string databasePath(const std::string& name) const;
    // Creates an empty database (file and catalog rows); throws when the name is taken.
    // `mixedLog`: its log is on the device of its data.
    DatabaseInfo createDatabase(const std::string& name, bool mixedLog = false,
                                DatabaseSize size = {});
    void setDatabaseState(const std::string& name, DatabaseState state);
    void setDatabaseSuspect(const std::string& name, bool suspect);
    // Sets one of the options above (kTruncLogOnCheckpoint, kSelectIntoBulkcopy); false for
    // another name.
    bool setDatabaseOption(const std::string& name, const std::string& option, bool on);

    // Connections whose current database is `name`: a load refuses a database in use.
    void enterDatabase(const std::string& name);
    void leaveDatabase(const std::string& name);
    int usersOf(const std::string& name) const;

    int nextConnectionId() { return ++lastConnectionId_; }

    // The connections that are logged on, by id: each one keeps its entry up to date.
    void updateSession(const SessionInfo& session);
    void removeSession(int id);
    std::vector<SessionInfo> sessions() const;

    void requestStop() { stopping_ = true; }
    bool stopping() const { return stopping_; }

private:
    void persistState(const DatabaseInfo& info);
    // The database's row of sysdatabases, made now.
    void addCatalogRow(const std::string& name, int dbid);
    void persistSize(int dbid, const DatabaseSize& size);
    void createDatabaseFile(const std::string& name, bool replace);

    ServerOptions options_;
    mutable std::mutex mutex_;
    std::unique_ptr<SqliteDatabase> master_;  // catalog writes, under mutex_
    std::map<std::string, DatabaseInfo> databases_;
    std::map<std::string, int> users_;
    std::map<int, SessionInfo> sessions_;
    std::atomic<int> lastConnectionId_{0};
    std::atomic<bool> stopping_{false};
};

bool isSystemDatabase(const std::string& name);

}  // namespace tvr::sim
