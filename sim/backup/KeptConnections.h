#pragma once
// One SQLite connection to each database the Backup Server works on, kept open from one
// operation to the next. Opening a connection reads the database's schema, and closing the last
// one checkpoints the write-ahead log and removes it; log shipping dumps or loads a transaction
// every few seconds, and those two were most of what such an operation cost.
//
// A kept connection is used by one thread at a time: whoever uses it holds the database's lock.
// It is opened again when the file at the database's path is no longer the one it has open, and
// is closed before a load replaces the whole file.
#include <sqlite3.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "sim/backup/BackupFiles.h"

namespace tvr::sim {

class KeptConnections {
public:
    KeptConnections() = default;
    KeptConnections(const KeptConnections&) = delete;
    KeptConnections& operator=(const KeptConnections&) = delete;

    // The connection to `database`'s `file`, opened when there is none yet; a transaction its
    // last user left open is rolled back first. Throws LogError when it cannot be opened.
    sqlite3* get(const std::string& database, const std::filesystem::path& file);
    void close(const std::string& database);

private:
    struct Kept {
        std::unique_ptr<SqliteHandle> handle;
        std::filesystem::path file;
        dev_t device = 0;
        ino_t inode = 0;
    };

    std::mutex mutex_;  // the map; each entry belongs to whoever holds its database's lock
    std::map<std::string, Kept> kept_;
};

}  // namespace tvr::sim
