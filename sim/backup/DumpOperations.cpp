// The dump half of the Backup Server: dump database and dump transaction.
#include "sim/backup/BackupServer.h"

#include "sim/backup/BackupOperation.h"

namespace tvr::sim {

BackupResult BackupServer::dumpDatabase(const std::string& database, const std::string& device,
                                        MessageSink& sink) {
    return runOperation(
        database, device, Access::Dump, sink,
        [&](Operation& op, const std::filesystem::path& file,
            const BackupFault& fault) -> BackupResult {
            BackupResult failed;
            op.announce();

            DumpHeader header = op.header(DumpKind::Database, database);
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
            const auto stopped =
                op.copyAll(*writer, fault, total, &progress, "the snapshot of database " + database,
                           in.fd(), markRollbackMode);
            reading.reset();
            if (stopped) return *stopped;
            try {
                SqliteHandle source(file);
                logchain::markDatabaseDumped(source.db, header.createdUnixMs);
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
                                           MessageSink& sink, bool noTruncate) {
    return runOperation(
        database, device, noTruncate ? Access::DumpLog : Access::DumpTransaction, sink,
        [&](Operation& op, const std::filesystem::path& file,
            const BackupFault& fault) -> BackupResult {
            BackupResult failed;

            DumpHeader header = op.header(DumpKind::Transaction, database);
            std::string data;
            try {
                sqlite3* db = kept_.get(database, file);
                logchain::ensure(db);
                SqliteHandle::execute(db, "BEGIN");
                const LogPosition pos = logchain::position(db);
                const auto entries = logchain::entriesAfter(db, pos.base, pos.last);
                SqliteHandle::execute(db, "COMMIT");
                if (pos.truncatedSinceDatabaseDump) return op.fail(errors::truncatedChain());
                if (pos.unloggedSinceDatabaseDump) return op.fail(errors::unloggedOperation());
                header.incarnation = pos.incarnation;
                header.firstSequence = pos.base;
                header.lastSequence = pos.last;
                header.previousDumpUnixMs = pos.lastDumpUnixMs;
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
                if (!noTruncate)
                    logchain::truncate(kept_.get(database, file), header.lastSequence, false,
                                       header.createdUnixMs);
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

}  // namespace tvr::sim
