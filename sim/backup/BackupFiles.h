#pragma once
// The files of dumps and loads: SQLite handles of the Backup Server's own, plain system-call
// reads and writes, scratch files, snapshots of a database's file and the taking over of a
// target's file, and the names and times written into dump headers.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>

#include "sim/backup/LogChain.h"

namespace tvr::sim {

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
    void exec(const char* sql) const { execute(db, sql); }
    // Runs `sql` on `db`; throws LogError with SQLite's message when it fails.
    static void execute(sqlite3* db, const char* sql) {
        char* msg = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string text = msg ? msg : sqlite3_errmsg(db);
            sqlite3_free(msg);
            throw LogError{text};
        }
    }
};

// Copies a whole SQLite database (a consistent snapshot: one read transaction).
void copyDatabase(sqlite3* from, sqlite3* to);

std::string dumpNameFor(const std::string& database);
std::int64_t nowUnixMs();

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

// "2 (No such file or directory)": an errno as the Backup Server's messages give it.
std::string osError(int err);

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
void markRollbackMode(char* image, std::size_t size);

// A database brought online for standby access that nothing has changed since its last load.
bool standbyUnchanged(sqlite3* db);

// Begins a read transaction on `source` in which its file alone holds the snapshot: the
// write-ahead log is checkpointed and empty, and stays out of the file while the transaction
// lasts, so the file can be copied with plain reads while others write. False (and no
// transaction) when writers keep frames in the log; the caller then copies page by page.
bool beginFileSnapshot(SqliteHandle& source, const std::filesystem::path& file);

// Switches the target to rollback mode without a journal, which SQLite allows only while no
// other connection has it open, and locks it exclusively: its file may then be replaced with
// plain writes. False when another connection has it open.
bool takeWholeFile(SqliteHandle& target);

}  // namespace tvr::sim
