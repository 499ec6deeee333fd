#pragma once
// The emulated Backup Server (SYB_BACKUP) and the dump and load statements it carries out for
// its data server: dump database, dump transaction (also with truncate_only), load database,
// load transaction and online database, against the SQLite files of the server's databases.
//
// Each operation reports to a MessageSink: the Backup Server's progress lines ("Backup Server:
// ..." at severity 1), the server's informational messages (severity 10) and, on failure, the
// errors of ServerErrors.h. The result carries the number of the error the statement failed
// with (0 on success), which the caller sets as @@error, and whether the connection must be
// dropped (an injected fault).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sim/backup/Faults.h"
#include "sim/backup/KeptConnections.h"
#include "sim/backup/LogChain.h"
#include "sim/backup/ServerErrors.h"

namespace tvr::sim {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void send(const ServerError& message) = 0;
    // True once the client has asked to cancel: a dump or load in progress stops.
    virtual bool cancelRequested() { return false; }
};

// What the data server knows of a database that decides whether its log can be dumped.
struct LogDumpability {
    bool mixedLog = false;              // the log shares the device of the data
    bool truncLogOnCheckpoint = false;  // the option "trunc log on chkpt" is set
    bool readOnly = false;              // the option "read only" is set
};

// What the Backup Server needs of the data server it works for.
class DatabaseHost {
public:
    virtual ~DatabaseHost() = default;
    // The SQLite file of a database; nullopt when the server has no such database.
    virtual std::optional<std::filesystem::path> databaseFile(const std::string& name) = 0;
    // How many connections have this database as their current database.
    virtual int usersOf(const std::string& name) = 0;
    // Loading: offline after a load until online database. Kept across restarts.
    virtual bool isLoading(const std::string& name) = 0;
    virtual void setLoading(const std::string& name, bool loading) = 0;
    // Suspect: its data damaged, or a load stopped part way. Kept across restarts.
    virtual bool isSuspect(const std::string&) { return false; }
    virtual void setSuspect(const std::string&, bool) {}
    virtual LogDumpability logDumpability(const std::string& name) = 0;
    // The database's dbid, written into its dumps; 0 when not known.
    virtual std::uint32_t databaseId(const std::string&) { return 0; }
    // The space of a database (data and log); 0 when not known, which no load checks.
    virtual std::uint64_t databaseSizeKB(const std::string&) { return 0; }
    // True for a file the data server keeps a database in (its data or its log files): a dump
    // written there would destroy that database.
    virtual bool holdsFile(const std::filesystem::path&) { return false; }
};

struct BackupResult {
    int error = 0;
    bool dropConnection = false;
    bool cancelled = false;  // stopped at the client's request; nothing more is sent
};

struct BackupServerOptions {
    std::string serverName;   // the data server's name, written into dump headers
    std::string networkName;  // the Backup Server's own name (NAME_BS by default)
    bool running = true;
    bool listed = true;                   // the data server's sysservers has its SYB_BACKUP entry
    double ioRateMBps = 0;                // 0: as fast as the disks allow
    std::filesystem::path scratchFolder;  // snapshots and partial loads are staged here
};

class BackupServer {
public:
    BackupServer(BackupServerOptions options, DatabaseHost& host, FaultPlan& faults);

    const std::string& networkName() const { return options_.networkName; }
    bool isRunning() const { return running_.load(); }
    // Returns false when it was already running.
    bool start() { return !running_.exchange(true); }
    void stop() { running_ = false; }

    BackupResult dumpDatabase(const std::string& database, const std::string& device,
                              MessageSink& sink);
    // `noTruncate`: the log is written and kept, and the dump goes ahead while the
    // database's data is damaged, as long as its log can be read.
    BackupResult dumpTransaction(const std::string& database, const std::string& device,
                                 MessageSink& sink, bool noTruncate = false);
    BackupResult truncateLog(const std::string& database, MessageSink& sink);
    BackupResult loadDatabase(const std::string& database, const std::string& device,
                              MessageSink& sink);
    BackupResult loadTransaction(const std::string& database, const std::string& device,
                                 MessageSink& sink);
    // load database|transaction ... with headeronly: the dump's header, of either kind, as
    // informational messages; `database` is named but neither checked against the dump nor
    // touched, whatever its state.
    BackupResult readHeader(const std::string& database, const std::string& device,
                            MessageSink& sink);
    // `standby`: for standby_access: readable, and still taking transaction loads as long as
    // nothing changes it.
    BackupResult onlineDatabase(const std::string& database, MessageSink& sink,
                                bool standby = false);

    // Runs `look` on a connection to `database`'s `file`: the kept one when no dump or load has
    // the database, else one of its own rather than wait for them. Throws LogError when the
    // file cannot be opened.
    void lookAt(const std::string& database, const std::filesystem::path& file,
                const std::function<void(sqlite3*)>& look);

private:
    class Operation;
    // Whether an operation reads a database (a dump) or replaces it (a load).
    // DumpLog: a transaction dump with no_truncate; Header: a load that reads only the header.
    enum class Access { Dump, DumpTransaction, DumpLog, Load, Header };
    using OperationBody = std::function<BackupResult(Operation&, const std::filesystem::path& file,
                                                     const BackupFault& fault)>;
    // What every dump and load begins with: the checks, the fault armed for it and the
    // database's lock, held while `body` runs; the failure when it cannot go ahead.
    BackupResult runOperation(const std::string& database, const std::string& device, Access access,
                              MessageSink& sink, const OperationBody& body);
    std::mutex& lockFor(const std::string& database);
    std::filesystem::path scratchFile(const std::string& database, const char* what);

    BackupServerOptions options_;
    DatabaseHost& host_;
    FaultPlan& faults_;
    std::atomic<bool> running_;
    std::atomic<int> sessionIds_{1};
    std::atomic<unsigned> scratchCounter_{0};
    std::mutex locksMutex_;
    std::map<std::string, std::unique_ptr<std::mutex>> locks_;
    KeptConnections kept_;  // each used under its database's lock
};

}  // namespace tvr::sim
