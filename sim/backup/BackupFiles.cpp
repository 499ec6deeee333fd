#include "sim/backup/BackupFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace tvr::sim {

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

std::string osError(int err) { return std::to_string(err) + " (" + std::strerror(err) + ")"; }

// Marks a database image as one in rollback mode (header bytes 18 and 19), so that it opens
// without a write-ahead log; the chunk holds the start of the image.
void markRollbackMode(char* image, std::size_t size) {
    if (size >= 20 && std::memcmp(image, "SQLite format 3", 15) == 0) image[18] = image[19] = 1;
}

// A database brought online for standby access that nothing has changed since its last load.
bool standbyUnchanged(sqlite3* db) {
    try {
        const LoadPosition loaded = logchain::loadPosition(db);
        return loaded.standby && logchain::position(db).last <= loaded.loadedThrough;
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

}  // namespace tvr::sim
