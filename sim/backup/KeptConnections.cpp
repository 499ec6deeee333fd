#include "sim/backup/KeptConnections.h"

#include <sys/stat.h>

namespace tvr::sim {
namespace {

bool sameFile(const std::filesystem::path& file, dev_t device, ino_t inode) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

}  // namespace

sqlite3* KeptConnections::get(const std::string& database, const std::filesystem::path& file) {
    Kept* kept = nullptr;
    {
        std::lock_guard lock(mutex_);
        kept = &kept_[database];
    }
    // A connection to a file that another has replaced under its name (a database created anew)
    // is closed. It closes without a checkpoint: SQLite sees that its file moved and leaves the
    // write-ahead log and shared memory of that name, now the new file's, alone.
    if (kept->handle && (kept->file != file || !sameFile(file, kept->device, kept->inode)))
        kept->handle.reset();
    if (!kept->handle) {
        auto handle = std::make_unique<SqliteHandle>(file);
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) throw LogError{"cannot find " + file.string()};
        kept->handle = std::move(handle);
        kept->file = file;
        kept->device = st.st_dev;
        kept->inode = st.st_ino;
    }
    sqlite3* db = kept->handle->db;
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return db;
}

void KeptConnections::close(const std::string& database) {
    Kept* kept = nullptr;
    {
        std::lock_guard lock(mutex_);
        const auto found = kept_.find(database);
        if (found == kept_.end()) return;
        kept = &found->second;
    }
    kept->handle.reset();
}

}  // namespace tvr::sim
