#pragma once
// One dump or load as the Backup Server carries it out: the session line, its messages relayed
// by the data server, the checks before it starts, and the moving of the data at its pace.
// Shared by the dump and the load halves of the Backup Server.
#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/backup/BackupFiles.h"
#include "sim/backup/BackupServer.h"
#include "sim/backup/DumpFile.h"
#include "sim/backup/RelayedLines.h"
#include "sim/backup/TransferPacing.h"

namespace tvr::sim {
// What the Backup Server itself says reaches the client relayed by the data server under the
// Backup Server's own name; the data server's messages keep the data server's.
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

// One dump or load: sends the session line and the failure messages in the Backup Server's way.
class BackupServer::Operation {
public:
    Operation(BackupServer& server, MessageSink& messages, std::string path)
        : server_(server), sink(messages), device(std::move(path)) {}

    void announce() {
        sink.send(messages::systemMessage(
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
        // Reading a dump's header neither reads nor writes the database.
        const bool dump = !load && access != Access::Header;
        auto file = server_.host_.databaseFile(database);
        const bool logDump = access == Access::DumpTransaction || access == Access::DumpLog;
        if (file && logDump && !server_.host_.isLoading(database)) {
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
            // A dump that truncates (or marks a standby point) begins a transaction, which a
            // read-only database refuses; one with no_truncate writes nothing to it.
            if (log.readOnly && access == Access::DumpTransaction) {
                failed = fail(messages::readOnly(database));
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
        } else if (dump && access != Access::DumpLog && server_.host_.isSuspect(database)) {
            // Only the log of a damaged database can still be saved, by a dump that keeps it.
            failed = fail(messages::databaseSuspect(database));
            file.reset();
        } else if (dump && server_.host_.isLoading(database)) {
            failed = fail(messages::databaseOffline(database));
            file.reset();
        }
        return file;
    }
    // Creates the dump file; null, with the failure sent, when the system refuses.
    std::unique_ptr<DumpWriter> create(const DumpHeader& header, BackupResult& failed) {
        int err = 0;
        sink.send(bsLine(4, 41, 1, 1, "Creating new disk file " + device + "."));
        // A database's own file is in use by the data server, as a device would be.
        if (server_.host_.holdsFile(device)) {
            failed = osFailure("open", EBUSY, "bs_write_header");
            return nullptr;
        }
        auto writer = DumpWriter::create(device, header, err);
        if (!writer) {
            // The dump file is opened where its header is written.
            failed = osFailure("open", err, "bs_write_header");
            return nullptr;
        }
        mounted(header);
        return writer;
    }
    // Opens a dump for a load and checks its kind (none: either kind); null, with the failure
    // sent, when unusable.
    std::unique_ptr<DumpReader> mount(std::optional<DumpKind> expected, BackupResult& failed) {
        DumpProblem problem = DumpProblem::None;
        int err = 0;
        auto reader = DumpReader::open(device, problem, err);
        if (!reader) {
            failed = badDump(problem, err);
            return nullptr;
        }
        if (expected && reader->header().kind != *expected) {
            sink.send(bsLine(
                3, 54, 2, 2,
                "The volume on device '" + device +
                    (*expected == DumpKind::Database
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
    // A load stopped by the "interrupt" fault after it began to change its database.
    BackupResult interrupted() {
        sink.send(bsLine(4, 141, 2, 41, "Operation on stripe device '" + device + "' failed."));
        return fail(errors::backupServerError());
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
        Start started{*file, server_.faults_.takeBackupFault(access == Access::Load), {}};
        started.lock = std::unique_lock(server_.lockFor(database));
        return started;
    }

    DumpHeader header(DumpKind kind, const std::string& database) const {
        DumpHeader header;
        header.kind = kind;
        header.database = database;
        header.server = server_.options_.serverName;
        header.databaseId = server_.host_.databaseId(database);
        header.databaseSizeKB = server_.host_.databaseSizeKB(database);
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
        std::vector<char> buf(pacing.bufferFor(total));
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

    // As writeAll, for `total` bytes of the file `fd` copied inside the kernel, except its first
    // bytes, which pass through a buffer so that `patchHead` may change them on the way.
    std::optional<BackupResult> copyAll(DumpWriter& writer, const BackupFault& fault,
                                        std::uint64_t total, Progress* progress,
                                        const std::string& source, int fd,
                                        const std::function<void(char*, std::size_t)>& patchHead) {
        Pacing pacing(server_.options_.ioRateMBps, sink, fault, total, progress);
        int err = 0;
        std::vector<char> head(static_cast<std::size_t>(std::min<std::uint64_t>(total, 4096)));
        const ssize_t got = head.empty() ? 0 : ::pread(fd, head.data(), head.size(), 0);
        if (got > 0) {
            const auto n = static_cast<std::size_t>(got);
            patchHead(head.data(), n);
            if (!writer.write(head.data(), n, err)) return osFailure("write", err);
            if (auto stopped = pacing.moved(n)) return stopped;
        }
        while (got > 0 && pacing.done() < total) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>(pacing.chunk(), total - pacing.done()));
            std::size_t copied = 0;
            if (!writer.copyFrom(fd, pacing.done(), want, copied, err))
                return osFailure("write", err);
            if (copied == 0) break;
            if (auto stopped = pacing.moved(copied)) return stopped;
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
        std::vector<char> buf(pacing.bufferFor(reader.header().dataLength));
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

}  // namespace tvr::sim
