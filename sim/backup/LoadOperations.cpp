// The load half of the Backup Server: load database and load transaction.
#include "sim/backup/BackupServer.h"

#include <cstring>

#include "platform/ScopeExit.h"
#include "sim/backup/BackupOperation.h"
#include "sim/backup/DumpDataVfs.h"
#include "sim/backup/FileCopy.h"
#include "sim/backup/HeaderOnlyLines.h"
#include "sim/backup/ReplayFunctions.h"

namespace tvr::sim {
namespace {

// The piece of a load's data copied between looks at the write-back.
constexpr std::uint64_t kCopyStep = 8u << 20;

}  // namespace

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

            // From here the database is in the load sequence, offline, and suspect until the
            // load completes: a load that stops part way (a failure, the server killed at any
            // moment) leaves a database no online database may bring back, as the server's
            // does. Only a dump found bad, or a load stopped, before a page is written leaves
            // it as it was.
            const bool wasLoading = host_.isLoading(database);
            const bool wasSuspect = host_.isSuspect(database);
            host_.setLoading(database, true);
            host_.setSuspect(database, true);
            // Read and checked in full before the database is touched.
            {
                Progress progress(op.sink, database, header.dataLength, "LOADED");
                const auto stopped =
                    op.readAll(*reader, fault, &progress, [](const char*, std::size_t) {});
                if (stopped) {
                    host_.setSuspect(database, wasSuspect);
                    host_.setLoading(database, wasLoading);
                    return *stopped;
                }
            }
            reader.reset();

            try {
                if (fault.kind == BackupFault::Kind::Interrupt) return op.interrupted();
                bool replaced = false;
                {
                    // Its file is replaced whole only while no other connection has it open.
                    kept_.close(database);
                    SqliteHandle to(file);
                    if (takeWholeFile(to)) {
                        // Nobody else has it open: the dump's database becomes its file.
                        PlainFile in(device, O_RDONLY);
                        PlainFile out(file, O_WRONLY);
                        if (in.fd() < 0 || out.fd() < 0) return op.osFailure("open", errno);
                        EarlyWriteback writeback(out.fd());
                        std::uint64_t done = 0;
                        while (done < header.dataLength) {
                            int err = 0;
                            const std::int64_t n = copyBetweenFiles(
                                in.fd(), kDumpHeaderSize + done, out.fd(), done,
                                std::min<std::uint64_t>(kCopyStep, header.dataLength - done), err);
                            if (n < 0) return op.osFailure("write", err);
                            if (n == 0) return op.badDump(DumpProblem::Truncated, 0);
                            done += static_cast<std::uint64_t>(n);
                            writeback.writtenUpTo(done);
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
                // A loaded database starts a dump sequence of its own, as of the dump loaded.
                logchain::markDatabaseDumped(to.db, header.createdUnixMs);
                host_.setSuspect(database, false);
            } catch (const LogError& e) {
                return op.backupServerFailure("Cannot write database " + database + ": " +
                                              e.message);
            } catch (const std::exception& e) {
                return op.backupServerFailure(std::string("Cannot write database ") + database +
                                              ": " + e.what());
            }
            op.sink.send(bsLine(3, 42, 1, 1, "LOAD is complete (database " + database + ")."));
            op.sink.send(serverInfo(
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
            // A load sequence broken by a load that stopped part way must start again; a
            // damaged database is not in a load sequence at all.
            if (host_.isSuspect(database))
                return op.fail(host_.isLoading(database) ? errors::activitySinceLoad()
                                                         : messages::databaseSuspect(database));
            // Online for standby access, a database takes the next transaction load as long
            // as nothing has changed it since the last one.
            bool standby = false;
            try {
                standby = !host_.isLoading(database) && standbyUnchanged(kept_.get(database, file));
            } catch (const LogError&) {
                // Not readable: not unchanged either.
            }
            if (!host_.isLoading(database) && !standby) return op.fail(errors::activitySinceLoad());
            op.announce();

            auto reader = op.mount(DumpKind::Transaction, failed);
            if (!reader) return failed;
            const DumpHeader header = reader->header();
            if (fault.kind == BackupFault::Kind::Fail) return op.injected(fault);
            if (fault.kind == BackupFault::Kind::Interrupt) {
                // As a redo pass stopped half way: the database is no longer whole.
                host_.setSuspect(database, true);
                return op.interrupted();
            }
            std::string data;
            const auto stopped =
                op.readAll(*reader, fault, nullptr,
                           [&data](const char* buf, std::size_t size) { data.append(buf, size); });
            if (stopped) return *stopped;
            std::vector<LogEntry> entries;
            if (!logchain::deserialize(data, entries)) return op.badDump(DumpProblem::Corrupt, 0);

            std::size_t applied = 0;
            try {
                sqlite3* db = kept_.get(database, file);
                SqliteHandle::execute(db, "BEGIN IMMEDIATE");
                LoadPosition state = logchain::loadPosition(db);
                const bool inSequence = header.incarnation == state.incarnation &&
                                        header.firstSequence == state.expectedFirst &&
                                        header.lastSequence >= state.loadedThrough;
                if (!inSequence) {
                    SqliteHandle::execute(db, "ROLLBACK");
                    return op.fail(errors::outOfSequence(device, state.loadedDumpUnixMs,
                                                         header.createdUnixMs));
                }
                ReplayScope scope{"", database};
                registerReplayFunctions(db, scope);
                const auto forget = onScopeExit([db] { unregisterReplayFunctions(db); });
                applied =
                    logchain::replay(db, entries, state.loadedThrough,
                                     [&scope](const LogEntry& entry) { scope.time = entry.time; });
                state.expectedFirst = header.lastSequence;
                state.loadedThrough = header.lastSequence;
                state.loadedDumpUnixMs = header.createdUnixMs;
                state.standby = false;
                logchain::setLoadPosition(db, state);
                SqliteHandle::execute(db, "COMMIT");
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
            op.sink.send(serverInfo("Started REDO pass for database '" + database +
                                    "'. The total number of log records to process is " +
                                    std::to_string(applied) + "."));
            op.sink.send(serverInfo("Completed REDO pass for database '" + database + "'."));
            op.sink.send(serverInfo(
                "Use the ONLINE DATABASE command to bring this database online; ASE will not bring "
                "it online automatically."));
            return {};
        });
}

BackupResult BackupServer::readHeader(const std::string& database, const std::string& device,
                                      MessageSink& to) {
    // No lock and no fault: nothing of the database is read or written, and the dump file is
    // only read.
    RelayedMessages sink(to, options_.networkName);
    Operation op(*this, sink, device);
    BackupResult failed;
    if (!op.target(database, Access::Header, failed)) return failed;
    op.announce();
    const auto reader = op.mount(std::nullopt, failed);
    if (!reader) return failed;
    for (const std::string& line : headerOnlyLines(reader->header())) sink.send(serverInfo(line));
    return {};
}

}  // namespace tvr::sim
