#include "sim/backup/BackupServer.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sim/backup/DumpDataVfs.h"
#include "sim/backup/DumpFile.h"
#include "sim/backup/LogChain.h"
#include "sim/statements/SqlFunctions.h"

namespace tvr::sim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 1 << 20;
// A Backup Server message reaches the client relayed by the data server with the number
// major * 100000 + minor * 100 + severity, the Backup Server's own severity (1 for progress, 2
// and up for errors) and state, the name of the Backup Server routine that raised it, and line 0.
constexpr int kRelayedMajorFactor = 100000;

using messages::systemMessage;

ServerError bsLine(int major, int minor, int severity, int state, const std::string& text,
                   const char* routine = "") {
    char code[48];
    std::snprintf(code, sizeof code, "Backup Server: %d.%d.%d.%d: ", major, minor, severity, state);
    ServerError message = systemMessage(major * kRelayedMajorFactor + minor * 100 + severity,
                                        severity, state, code + text);
    message.procedure = routine;
    message.line = 0;
    return message;
}

ServerError info(const std::string& text) { return systemMessage(0, 10, 1, text); }

struct SqliteHandle {
    sqlite3* db = nullptr;
    explicit SqliteHandle(const std::filesystem::path& path, int flags = SQLITE_OPEN_READWRITE) {
        if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            db = nullptr;
            throw LogError{msg};
        }
        sqlite3_busy_timeout(db, 30000);
    }
    ~SqliteHandle() { sqlite3_close(db); }
    SqliteHandle(const SqliteHandle&) = delete;
    SqliteHandle& operator=(const SqliteHandle&) = delete;
    void exec(const char* sql) const {
        char* msg = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string text = msg ? msg : sqlite3_errmsg(db);
            sqlite3_free(msg);
            throw LogError{text};
        }
    }
};

// Copies a whole SQLite database (a consistent snapshot: one read transaction).
void copyDatabase(sqlite3* from, sqlite3* to) {
    sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
    if (!b) throw LogError{sqlite3_errmsg(to)};
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        break;
    }
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) throw LogError{sqlite3_errstr(rc)};
}

// Paces the transfer to the configured rate, so that a dump takes time in proportion to its
// size even on fast disks.
class Throttle {
public:
    explicit Throttle(double mbps)
        : bytesPerSecond_(mbps * 1024.0 * 1024.0), start_(Clock::now()) {}
    // Pieces of about a twentieth of a second when paced, so that the file grows steadily.
    std::size_t chunk() const {
        if (bytesPerSecond_ <= 0) return kChunk;
        return std::clamp<std::size_t>(static_cast<std::size_t>(bytesPerSecond_ / 20), 4096,
                                       kChunk);
    }
    void consumed(std::uint64_t bytes) {
        if (bytesPerSecond_ <= 0) return;
        total_ += bytes;
        const auto due =
            start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                         static_cast<double>(total_) / bytesPerSecond_));
        std::this_thread::sleep_until(due);
    }

private:
    double bytesPerSecond_;
    Clock::time_point start_;
    std::uint64_t total_ = 0;
};

// "Database X: N kilobytes (P%) DUMPED." as each quarter is passed.
class Progress {
public:
    Progress(MessageSink& sink, std::string database, std::uint64_t total, const char* verb)
        : sink_(sink), database_(std::move(database)), total_(total), verb_(verb) {}
    void advance(std::uint64_t done) {
        const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
        if (next_ > 100 || percent < next_) return;
        report(done, percent - percent % 25);
        next_ = percent - percent % 25 + 25;
    }
    void report(std::uint64_t done, int percent) {
        sink_.send(bsLine(4, 188, 1, 1,
                          "Database " + database_ + ": " + std::to_string((done + 1023) / 1024) +
                              " kilobytes (" + std::to_string(percent) + "%) " + verb_ + "."));
    }

private:
    MessageSink& sink_;
    std::string database_;
    std::uint64_t total_;
    const char* verb_;
    int next_ = 25;
};

// What each piece of a dump or load goes through: the pace, the progress messages, the fault's
// drop of the connection half way and the client's cancel; moved() and ended() give what to
// return when the operation stops there.
class Pacing {
public:
    Pacing(double mbps, MessageSink& sink, const BackupFault& fault, std::uint64_t total,
           Progress* progress)
        : throttle_(mbps), sink_(sink), fault_(fault), total_(total), progress_(progress) {}
    std::size_t chunk() const { return throttle_.chunk(); }
    std::uint64_t done() const { return done_; }
    std::optional<BackupResult> moved(std::size_t bytes) {
        done_ += bytes;
        throttle_.consumed(bytes);
        if (progress_) progress_->advance(done_);
        if (fault_.kind == BackupFault::Kind::Drop && done_ * 2 >= total_)
            return BackupResult{0, true};
        if (sink_.cancelRequested()) return BackupResult{0, false, true};
        return std::nullopt;
    }
    // A drop armed for an operation with nothing to move happens at its end.
    std::optional<BackupResult> ended() const {
        if (fault_.kind == BackupFault::Kind::Drop) return BackupResult{0, true};
        return std::nullopt;
    }

private:
    Throttle throttle_;
    MessageSink& sink_;
    const BackupFault& fault_;
    std::uint64_t total_;
    Progress* progress_;
    std::uint64_t done_ = 0;
};

std::string dumpNameFor(const std::string& database) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%08lX", static_cast<unsigned long>(std::time(nullptr)));
    return database.substr(0, 16) + suffix;
}

std::int64_t nowUnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class ScratchFile {
public:
    explicit ScratchFile(std::filesystem::path path) : path_(std::move(path)) { removeAll(); }
    ~ScratchFile() { removeAll(); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    void removeAll() {
        std::error_code ec;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            std::filesystem::remove(path_.string() + suffix, ec);
    }
    std::filesystem::path path_;
};

// The server's functions as a replayed statement sees them: getdate() gives the time the
// statement first ran at, the text functions are the server's own. Changes are logged with the
// values of the connection's functions in place; the others here serve logs written before.
struct ReplayScope {
    std::string time;
    std::string database;
};

void replayText(sqlite3_context* call, const std::string& text) {
    sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void registerReplayFunctions(sqlite3* db, ReplayScope& scope) {
    struct Function {
        const char* name;
        int arguments;
        void (*body)(sqlite3_context*, int, sqlite3_value**);
    };
    static const Function functions[] = {
        {"getdate", 0,
         [](sqlite3_context* c, int, sqlite3_value**) {
             replayText(c, static_cast<ReplayScope*>(sqlite3_user_data(c))->time);
         }},
        {"db_name", 0,
         [](sqlite3_context* c, int, sqlite3_value**) {
             replayText(c, static_cast<ReplayScope*>(sqlite3_user_data(c))->database);
         }},
        {"user_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, "dbo"); }},
        {"suser_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, "sa"); }},
        {"host_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, ""); }},
        {"app_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, ""); }},
    };
    for (const Function& f : functions)
        sqlite3_create_function_v2(db, f.name, f.arguments, SQLITE_UTF8, &scope, f.body, nullptr,
                                   nullptr, nullptr);
    registerTextFunctions(db);
}

std::string osError(int err) { return std::to_string(err) + " (" + std::strerror(err) + ")"; }

// A file read or written with plain system calls, closed at the end.
class PlainFile {
public:
    PlainFile(const std::filesystem::path& path, int flags)
        : fd_(::open(path.c_str(), flags, 0644)) {}
    ~PlainFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    PlainFile(const PlainFile&) = delete;
    PlainFile& operator=(const PlainFile&) = delete;
    int fd() const { return fd_; }
    // Up to size bytes from the current position; 0 at the end or on an error.
    std::size_t read(char* buffer, std::size_t size) const {
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd_, buffer + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    int fd_;
};

// Marks a database image as one in rollback mode (header bytes 18 and 19), so that it opens
// without a write-ahead log; the chunk holds the start of the image.
void markRollbackMode(char* image, std::size_t size) {
    if (size >= 20 && std::memcmp(image, "SQLite format 3", 15) == 0) image[18] = image[19] = 1;
}

// A database brought online for standby access that nothing has changed since its last load.
bool standbyUnchanged(const std::filesystem::path& file) {
    try {
        SqliteHandle target(file);
        const LoadPosition loaded = logchain::loadPosition(target.db);
        return loaded.standby && logchain::position(target.db).last <= loaded.loadedThrough;
    } catch (const LogError&) {
        return false;
    }
}

// Begins a read transaction on `source` in which its file alone holds the snapshot: the
// write-ahead log is checkpointed and empty, and stays out of the file while the transaction
// lasts, so the file can be copied with plain reads while others write. False (and no
// transaction) when writers keep frames in the log; the caller then copies page by page.
bool beginFileSnapshot(SqliteHandle& source, const std::filesystem::path& file) {
    sqlite3_exec(source.db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    source.exec("BEGIN");
    source.exec("SELECT count(*) FROM sqlite_master");  // takes the snapshot
    std::error_code error;
    const auto logSize = std::filesystem::file_size(file.string() + "-wal", error);
    if (error || logSize == 0) return true;
    source.exec("COMMIT");
    return false;
}

// Switches the target to rollback mode without a journal, which SQLite allows only while no
// other connection has it open, and locks it exclusively: its file may then be replaced with
// plain writes. False when another connection has it open.
bool takeWholeFile(SqliteHandle& target) {
    std::string mode;
    sqlite3_exec(
        target.db, "PRAGMA journal_mode=OFF",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] ? values[0] : "";
            return 0;
        },
        &mode, nullptr);
    if (mode != "off") return false;
    return sqlite3_exec(target.db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

// What the Backup Server itself says reaches the client relayed by the data server under the
// Backup Server's own name; the data server's messages keep the data server's.
namespace {

class RelayedMessages : public MessageSink {
public:
    RelayedMessages(MessageSink& to, std::string backupServer)
        : to_(to), backupServer_(std::move(backupServer)) {}
    void send(const ServerError& message) override {
        if (message.number < kRelayedMajorFactor) return to_.send(message);
        ServerError relayed = message;
        relayed.server = backupServer_;
        to_.send(relayed);
    }
    bool cancelRequested() override { return to_.cancelRequested(); }

private:
    MessageSink& to_;
    std::string backupServer_;
};

}  // namespace

// One dump or load: sends the session line and the failure messages in the Backup Server's way.
class BackupServer::Operation {
public:
    Operation(BackupServer& server, MessageSink& messages, std::string path)
        : server_(server), sink(messages), device(std::move(path)) {}

    void announce() {
        sink.send(systemMessage(
            3216, 10, 1,
            "Backup Server session id is:  " + std::to_string(server_.sessionIds_++) +
                ".  Use this value when executing the 'sp_volchanged' system stored procedure "
                "after fulfilling any volume change request from the Backup Server."));
    }
    BackupResult fail(const ServerError& error) {
        sink.send(error);
        return {error.number, false};
    }
    // `routine`: the Backup Server routine that reports it, where known.
    BackupResult backupServerFailure(const std::string& line, const char* routine = "") {
        sink.send(bsLine(4, 141, 2, 40, line, routine));
        return fail(errors::backupServerError());
    }
    BackupResult osFailure(const char* call, int err, const char* routine = "") {
        return backupServerFailure(
            std::string("[11] The '") + call +
                "' call failed for database/archive device while working on stripe "
                "device '" +
                device + "' with error number " + osError(err) +
                ". Refer to your operating system documentation for further details.",
            routine);
    }
    BackupResult badDump(DumpProblem problem, int err) {
        if (problem == DumpProblem::OpenFailed) return osFailure("open", err);
        sink.send(bsLine(3, 54, 2, 1,
                         "The volume on device '" + device +
                             "' is not a valid dump: " + describe(problem) + "."));
        return fail(errors::backupServerError());
    }
    // The database a dump reads or a load writes, after the checks every dump or load makes first;
    // nothing, with the failure sent, when it cannot go ahead.
    std::optional<std::filesystem::path> target(const std::string& database, Access access,
                                                BackupResult& failed) {
        const bool load = access == Access::Load;
        auto file = server_.host_.databaseFile(database);
        if (file && access == Access::DumpTransaction && !server_.host_.isLoading(database)) {
            // The data server refuses these itself, before it calls the Backup Server.
            const LogDumpability log = server_.host_.logDumpability(database);
            if (log.mixedLog) {
                failed = fail(errors::logNotOnItsOwnDevice(database));
                return std::nullopt;
            }
            if (log.truncLogOnCheckpoint) {
                failed = fail(errors::truncLogOnCheckpointSet());
                return std::nullopt;
            }
        }
        if (file && (!server_.options_.listed || !server_.isRunning())) {
            failed = fail(errors::noBackupServer());
            return std::nullopt;
        }
        if (!file) {
            failed = fail(messages::noSuchDatabase(database));
        } else if (load && database == "master") {
            // The catalog of the running server itself: never replaced underneath it.
            failed = fail(errors::masterLoad());
            file.reset();
        } else if (load && server_.host_.usersOf(database) > 0) {
            failed = fail(errors::databaseInUse());
            file.reset();
        } else if (!load && server_.host_.isLoading(database)) {
            failed = fail(messages::databaseOffline(database));
            file.reset();
        }
        return file;
    }
    // Creates the dump file; null, with the failure sent, when the system refuses.
    std::unique_ptr<DumpWriter> create(const DumpHeader& header, BackupResult& failed) {
        int err = 0;
        sink.send(bsLine(4, 41, 1, 1, "Creating new disk file " + device + "."));
        auto writer = DumpWriter::create(device, header, err);
        if (!writer) {
            // The dump file is opened where its header is written.
            failed = osFailure("open", err, "bs_write_header");
            return nullptr;
        }
        mounted(header);
        return writer;
    }
    // Opens a dump for a load and checks its kind; null, with the failure sent, when unusable.
    std::unique_ptr<DumpReader> mount(DumpKind expected, BackupResult& failed) {
        DumpProblem problem = DumpProblem::None;
        int err = 0;
        auto reader = DumpReader::open(device, problem, err);
        if (!reader) {
            failed = badDump(problem, err);
            return nullptr;
        }
        if (reader->header().kind != expected) {
            sink.send(bsLine(
                3, 54, 2, 2,
                "The volume on device '" + device +
                    (expected == DumpKind::Database
                         ? "' holds a transaction dump; LOAD DATABASE needs a database dump."
                         : "' holds a database dump; LOAD TRANSACTION needs a transaction dump.")));
            failed = fail(errors::backupServerError());
            return nullptr;
        }
        mounted(reader->header());
        return reader;
    }
    void mounted(const DumpHeader& header) {
        sink.send(bsLine(6, 28, 1, 1,
                         "Dumpfile name '" + header.dumpName +
                             "' section number 1 mounted on disk file '" + device + "'"));
    }
    BackupResult injected(const BackupFault& fault) {
        sink.send(bsLine(4, 141, 2, 41, "Operation on stripe device '" + device + "' failed."));
        return fail(errors::injected(fault.errorNumber));
    }

    // What every dump and load begins with: the checks of target(), the one-shot fault armed for
    // it, and the database's lock, held to the end of the operation.
    struct Start {
        std::filesystem::path file;
        BackupFault fault;
        std::unique_lock<std::mutex> lock;
    };
    std::optional<Start> start(const std::string& database, Access access, BackupResult& failed) {
        auto file = target(database, access, failed);
        if (!file) return std::nullopt;
        Start started{*file, server_.faults_.takeBackupFault(), {}};
        started.lock = std::unique_lock(server_.lockFor(database));
        return started;
    }

    DumpHeader header(DumpKind kind, const std::string& database) const {
        DumpHeader header;
        header.kind = kind;
        header.database = database;
        header.server = server_.options_.serverName;
        header.dumpName = dumpNameFor(database);
        header.createdUnixMs = nowUnixMs();
        return header;
    }

    // Moves `total` bytes, which `next` hands over a buffer at a time (0 at the end), into the
    // dump file at the configured pace and completes the file. Something to return instead when
    // the fault drops the connection half way, the client cancels, or the file cannot be written.
    std::optional<BackupResult> writeAll(
        DumpWriter& writer, const BackupFault& fault, std::uint64_t total, Progress* progress,
        const std::string& source, const std::function<std::size_t(char*, std::size_t)>& next) {
        Pacing pacing(server_.options_.ioRateMBps, sink, fault, total, progress);
        std::vector<char> buf(pacing.chunk());
        int err = 0;
        while (const std::size_t n = next(buf.data(), buf.size())) {
            if (!writer.write(buf.data(), n, err)) return osFailure("write", err);
            if (auto stopped = pacing.moved(n)) return stopped;
        }
        if (auto stopped = pacing.ended()) return stopped;
        if (pacing.done() != total) return backupServerFailure("Cannot read " + source + ".");
        if (!writer.finish(err)) return osFailure("write", err);
        return std::nullopt;
    }

    // Reads the whole of the dump's data at the configured pace, handing each piece to `take`.
    // Something to return instead when the fault drops the connection half way, the client
    // cancels, or the file is damaged.
    std::optional<BackupResult> readAll(DumpReader& reader, const BackupFault& fault,
                                        Progress* progress,
                                        const std::function<void(const char*, std::size_t)>& take) {
        Pacing pacing(server_.options_.ioRateMBps, sink, fault, reader.header().dataLength,
                      progress);
        std::vector<char> buf(pacing.chunk());
        DumpProblem problem = DumpProblem::None;
        int err = 0;
        while (const std::size_t n = reader.read(buf.data(), buf.size(), problem, err)) {
            take(buf.data(), n);
            if (auto stopped = pacing.moved(n)) return stopped;
        }
        if (auto stopped = pacing.ended()) return stopped;
        if (problem != DumpProblem::None) return badDump(problem, err);
        return std::nullopt;
    }

    BackupServer& server_;
    MessageSink& sink;
    std::string device;
};

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

BackupResult BackupServer::dumpDatabase(const std::string& database, const std::string& device,
                                        MessageSink& sink) {
    return runOperation(
        database, device, Access::Dump, sink,
        [&](Operation& op, const std::filesystem::path& file,
            const BackupFault& fault) -> BackupResult {
            BackupResult failed;
            op.announce();

            DumpHeader header = op.header(DumpKind::Database, database);
            header.databaseSizeKB = host_.databaseSizeKB(database);
            ScratchFile snapshot(scratchFile(database, "snapshot"));
            // The file itself while its read transaction lasts, else a copy page by page.
            std::unique_ptr<SqliteHandle> reading;
            std::filesystem::path image = snapshot.path();
            try {
                auto source = std::make_unique<SqliteHandle>(file);
                // The chain is the source's, so that its transaction dumps follow this one.
                logchain::ensure(source->db);
                if (beginFileSnapshot(*source, file)) {
                    const LogPosition pos = logchain::position(source->db);
                    header.incarnation = pos.incarnation;
                    header.firstSequence = pos.base;
                    header.lastSequence = pos.last;
                    image = file;
                    reading = std::move(source);
                } else {
                    SqliteHandle copy(snapshot.path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
                    // A scratch file: durability comes from the dump file's own flush.
                    copy.exec("PRAGMA synchronous=OFF");
                    copy.exec("PRAGMA journal_mode=OFF");
                    copyDatabase(source->db, copy.db);
                    const LogPosition pos = logchain::position(copy.db);
                    header.incarnation = pos.incarnation;
                    header.firstSequence = pos.base;
                    header.lastSequence = pos.last;
                    copy.exec("PRAGMA journal_mode=DELETE");
                }
            } catch (const LogError& e) {
                return op.backupServerFailure("Cannot read database " + database + ": " +
                                              e.message);
            }

            auto writer = op.create(header, failed);
            if (!writer) return failed;
            if (fault.kind == BackupFault::Kind::Fail) return op.injected(fault);

            PlainFile in(image, O_RDONLY);
            if (in.fd() < 0) return op.osFailure("open", errno);
            std::error_code sizeError;
            const std::uint64_t total = std::filesystem::file_size(image, sizeError);
            Progress progress(op.sink, database, total, "DUMPED");
            bool first = true;
            const auto stopped = op.writeAll(*writer, fault, total, &progress,
                                             "the snapshot of database " + database,
                                             [&](char* buf, std::size_t size) {
                                                 const std::size_t n = in.read(buf, size);
                                                 if (first) markRollbackMode(buf, n);
                                                 first = false;
                                                 return n;
                                             });
            reading.reset();
            if (stopped) return *stopped;
            try {
                SqliteHandle source(file);
                logchain::markDatabaseDumped(source.db);
            } catch (const LogError&) {
                // The dump is good; the mark only matters to a later dump transaction.
            }
            for (int phase = 1; phase <= 3; ++phase)
                op.sink.send(bsLine(3, 43, 1, 1,
                                    "Dump phase number " + std::to_string(phase) + " completed."));
            progress.report(total, 100);
            op.sink.send(bsLine(3, 42, 1, 1, "DUMP is complete (database " + database + ")."));
            return {};
        });
}

BackupResult BackupServer::dumpTransaction(const std::string& database, const std::string& device,
                                           MessageSink& sink) {
    return runOperation(
        database, device, Access::DumpTransaction, sink,
        [&](Operation& op, const std::filesystem::path& file,
            const BackupFault& fault) -> BackupResult {
            BackupResult failed;

            DumpHeader header = op.header(DumpKind::Transaction, database);
            std::string data;
            try {
                SqliteHandle source(file);
                logchain::ensure(source.db);
                source.exec("BEGIN");
                const LogPosition pos = logchain::position(source.db);
                const auto entries = logchain::entriesAfter(source.db, pos.base, pos.last);
                source.exec("COMMIT");
                if (pos.truncatedSinceDatabaseDump) return op.fail(errors::truncatedChain());
                if (pos.unloggedSinceDatabaseDump) return op.fail(errors::unloggedOperation());
                header.incarnation = pos.incarnation;
                header.firstSequence = pos.base;
                header.lastSequence = pos.last;
                data = logchain::serialize(entries);
            } catch (const LogError& e) {
                return op.backupServerFailure("Cannot read the log of database " + database + ": " +
                                              e.message);
            }
            op.announce();

            auto writer = op.create(header, failed);
            if (!writer) return failed;
            if (fault.kind == BackupFault::Kind::Fail) return op.injected(fault);
            std::size_t done = 0;
            const auto stopped =
                op.writeAll(*writer, fault, data.size(), nullptr, "the log of database " + database,
                            [&](char* buf, std::size_t size) {
                                const std::size_t n = std::min(size, data.size() - done);
                                data.copy(buf, n, done);
                                done += n;
                                return n;
                            });
            if (stopped) return *stopped;
            try {
                SqliteHandle source(file);
                logchain::truncate(source.db, header.lastSequence, false);
            } catch (const LogError& e) {
                return op.backupServerFailure("Cannot truncate the log of database " + database +
                                              ": " + e.message);
            }
            const std::string kb = std::to_string((data.size() + kDumpHeaderSize + 1023) / 1024);
            op.sink.send(
                bsLine(4, 58, 1, 2, "Database " + database + ": " + kb + " kilobytes DUMPED."));
            op.sink.send(bsLine(3, 43, 1, 1, "Dump phase number 3 completed."));
            op.sink.send(bsLine(3, 42, 1, 1, "DUMP is complete (database " + database + ")."));
            return {};
        });
}

BackupResult BackupServer::truncateLog(const std::string& database, MessageSink& sink) {
    // Done by the data server itself: no Backup Server needed, nothing written.
    Operation op(*this, sink, "");
    const auto file = host_.databaseFile(database);
    if (!file) return op.fail(messages::noSuchDatabase(database));
    if (host_.isLoading(database)) return op.fail(messages::databaseOffline(database));
    std::lock_guard lock(lockFor(database));
    try {
        SqliteHandle source(*file);
        logchain::ensure(source.db);
        source.exec("BEGIN IMMEDIATE");
        const LogPosition pos = logchain::position(source.db);
        logchain::truncate(source.db, pos.last, true);
        source.exec("COMMIT");
    } catch (const LogError& e) {
        return op.fail(systemMessage(errors::kBackupServerError, 16, 1,
                                     "Cannot truncate the log: " + e.message));
    }
    return {};
}

BackupResult BackupServer::loadDatabase(const std::string& database, const std::string& device,
                                        MessageSink& sink) {
    return runOperation(
        database, device, Access::Load, sink,
        [&](Operation& op, const std::filesystem::path& file,
            const BackupFault& fault) -> BackupResult {
            BackupResult failed;
            op.announce();

            auto reader = op.mount(DumpKind::Database, failed);
            if (!reader) return failed;
            const DumpHeader header = reader->header();
            // The data server checks the space before the Backup Server writes a page.
            const std::uint64_t room = host_.databaseSizeKB(database);
            if (header.databaseSizeKB != 0 && room != 0 && header.databaseSizeKB > room)
                return op.fail(errors::dumpWillNotFit(header.databaseSizeKB));
            if (fault.kind == BackupFault::Kind::Fail) return op.injected(fault);

            // Read and checked in full before the database is touched: a bad dump changes
            // nothing.
            {
                Progress progress(op.sink, database, header.dataLength, "LOADED");
                const auto stopped =
                    op.readAll(*reader, fault, &progress, [](const char*, std::size_t) {});
                if (stopped) return *stopped;
            }
            reader.reset();

            // From here the database is in the load sequence, offline, whatever happens next.
            try {
                host_.setLoading(database, true);
                bool replaced = false;
                {
                    SqliteHandle to(file);
                    if (takeWholeFile(to)) {
                        // Nobody else has it open: the dump's database becomes its file.
                        PlainFile in(device, O_RDONLY);
                        PlainFile out(file, O_WRONLY);
                        if (in.fd() < 0 || out.fd() < 0 ||
                            ::lseek(in.fd(), static_cast<off_t>(kDumpHeaderSize), SEEK_SET) < 0)
                            return op.osFailure("open", errno);
                        std::vector<char> buf(kChunk);
                        std::uint64_t done = 0;
                        while (done < header.dataLength) {
                            const std::size_t n = in.read(
                                buf.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                                buf.size(), header.dataLength - done)));
                            if (n == 0) return op.badDump(DumpProblem::Truncated, 0);
                            if (::pwrite(out.fd(), buf.data(), n, static_cast<off_t>(done)) !=
                                static_cast<ssize_t>(n))
                                return op.osFailure("write", errno != 0 ? errno : EIO);
                            done += n;
                        }
                        if (::ftruncate(out.fd(), static_cast<off_t>(done)) != 0 ||
                            ::fsync(out.fd()) != 0)
                            return op.osFailure("write", errno);
                        sqlite3_exec(to.db, "ROLLBACK", nullptr, nullptr, nullptr);
                        replaced = true;
                    }
                }
                SqliteHandle to(file);
                if (replaced) {
                    to.exec("PRAGMA journal_mode=WAL");
                } else {
                    sqlite3* from = nullptr;
                    if (sqlite3_open_v2(device.c_str(), &from, SQLITE_OPEN_READONLY,
                                        dumpDataVfs()) != SQLITE_OK) {
                        const std::string why = from ? sqlite3_errmsg(from) : "out of memory";
                        sqlite3_close(from);
                        throw LogError{why};
                    }
                    try {
                        copyDatabase(from, to.db);
                    } catch (...) {
                        sqlite3_close(from);
                        throw;
                    }
                    sqlite3_close(from);
                }
                LoadPosition loaded;
                loaded.incarnation = header.incarnation;
                loaded.expectedFirst = header.firstSequence;
                loaded.loadedThrough = header.lastSequence;
                loaded.loadedDumpUnixMs = header.createdUnixMs;
                logchain::setLoadPosition(to.db, loaded);
                // A loaded database starts a dump sequence of its own.
                logchain::markDatabaseDumped(to.db);
            } catch (const LogError& e) {
                return op.backupServerFailure("Cannot write database " + database + ": " +
                                              e.message);
            } catch (const std::exception& e) {
                return op.backupServerFailure(std::string("Cannot write database ") + database +
                                              ": " + e.what());
            }
            op.sink.send(bsLine(3, 42, 1, 1, "LOAD is complete (database " + database + ")."));
            op.sink.send(info(
                "Use the ONLINE DATABASE command to bring this database online; ASE will not bring "
                "it online automatically."));
            return {};
        });
}

BackupResult BackupServer::loadTransaction(const std::string& database, const std::string& device,
                                           MessageSink& sink) {
    return runOperation(
        database, device, Access::Load, sink,
        [&](Operation& op, const std::filesystem::path& file,
            const BackupFault& fault) -> BackupResult {
            BackupResult failed;
            // Online for standby access, a database takes the next transaction load as long
            // as nothing has changed it since the last one.
            const bool standby = !host_.isLoading(database) && standbyUnchanged(file);
            if (!host_.isLoading(database) && !standby) return op.fail(errors::activitySinceLoad());
            op.announce();

            auto reader = op.mount(DumpKind::Transaction, failed);
            if (!reader) return failed;
            const DumpHeader header = reader->header();
            if (fault.kind == BackupFault::Kind::Fail) return op.injected(fault);
            std::string data;
            const auto stopped =
                op.readAll(*reader, fault, nullptr,
                           [&data](const char* buf, std::size_t size) { data.append(buf, size); });
            if (stopped) return *stopped;
            std::vector<LogEntry> entries;
            if (!logchain::deserialize(data, entries)) return op.badDump(DumpProblem::Corrupt, 0);

            std::size_t applied = 0;
            try {
                SqliteHandle target(file);
                target.exec("BEGIN IMMEDIATE");
                LoadPosition state = logchain::loadPosition(target.db);
                const bool inSequence = header.incarnation == state.incarnation &&
                                        header.firstSequence == state.expectedFirst &&
                                        header.lastSequence >= state.loadedThrough;
                if (!inSequence) {
                    target.exec("ROLLBACK");
                    return op.fail(errors::outOfSequence(device, state.loadedDumpUnixMs,
                                                         header.createdUnixMs));
                }
                ReplayScope scope{"", database};
                registerReplayFunctions(target.db, scope);
                applied =
                    logchain::replay(target.db, entries, state.loadedThrough,
                                     [&scope](const LogEntry& entry) { scope.time = entry.time; });
                state.expectedFirst = header.lastSequence;
                state.loadedThrough = header.lastSequence;
                state.loadedDumpUnixMs = header.createdUnixMs;
                state.standby = false;
                logchain::setLoadPosition(target.db, state);
                target.exec("COMMIT");
            } catch (const LogError& e) {
                return op.backupServerFailure("Cannot apply the log to database " + database +
                                              ": " + e.message);
            }
            const std::string kb =
                std::to_string((header.dataLength + kDumpHeaderSize + 1023) / 1024);
            op.sink.send(
                bsLine(4, 58, 1, 2, "Database " + database + ": " + kb + " kilobytes LOADED."));
            if (standby) host_.setLoading(database, true);
            op.sink.send(bsLine(3, 42, 1, 1, "LOAD is complete (database " + database + ")."));
            op.sink.send(info("Started REDO pass for database '" + database +
                              "'. The total number of log records to process is " +
                              std::to_string(applied) + "."));
            op.sink.send(info("Completed REDO pass for database '" + database + "'."));
            op.sink.send(info(
                "Use the ONLINE DATABASE command to bring this database online; ASE will not bring "
                "it online automatically."));
            return {};
        });
}

BackupResult BackupServer::onlineDatabase(const std::string& database, MessageSink& sink,
                                          bool standby) {
    Operation op(*this, sink, "");
    const auto file = host_.databaseFile(database);
    if (!file) return op.fail(messages::noSuchDatabase(database));
    std::lock_guard lock(lockFor(database));
    if (!host_.isLoading(database)) return {};  // already online: nothing to do, no message
    try {
        {
            SqliteHandle target(*file);
            LoadPosition position = logchain::loadPosition(target.db);
            position.standby = standby;
            logchain::setLoadPosition(target.db, position);
        }
        host_.setLoading(database, false);
    } catch (const std::exception& e) {
        return op.fail(systemMessage(errors::kBackupServerError, 16, 1, e.what()));
    }
    sink.send(info("Database '" + database + "' is now online."));
    return {};
}

}  // namespace tvr::sim
