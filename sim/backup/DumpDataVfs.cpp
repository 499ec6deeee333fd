#include "sim/backup/DumpDataVfs.h"

#include <mutex>

#include "sim/backup/DumpFile.h"

namespace tvr::sim {
namespace {

constexpr sqlite3_int64 kOffset = static_cast<sqlite3_int64>(kDumpHeaderSize);

// The file SQLite sees, and behind it the real one, allocated right after it.
struct ShiftedFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* realOf(sqlite3_file* file) { return reinterpret_cast<ShiftedFile*>(file)->real; }

int shiftedClose(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
    real->pMethods = nullptr;
    return rc;
}
int shiftedRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xRead(real, buffer, amount, offset + kOffset);
}
int shiftedWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xWrite(real, buffer, amount, offset + kOffset);
}
int shiftedTruncate(sqlite3_file* file, sqlite3_int64 size) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xTruncate(real, size + kOffset);
}
int shiftedSync(sqlite3_file* file, int flags) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xSync(real, flags);
}
int shiftedFileSize(sqlite3_file* file, sqlite3_int64* size) {
    sqlite3_file* real = realOf(file);
    const int rc = real->pMethods->xFileSize(real, size);
    if (rc == SQLITE_OK) *size = *size > kOffset ? *size - kOffset : 0;
    return rc;
}
int shiftedLock(sqlite3_file* file, int level) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xLock(real, level);
}
int shiftedUnlock(sqlite3_file* file, int level) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xUnlock(real, level);
}
int shiftedCheckReservedLock(sqlite3_file* file, int* out) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xCheckReservedLock(real, out);
}
int shiftedFileControl(sqlite3_file* file, int op, void* argument) {
    // Size hints and the like speak of the database's own offsets: not passed on.
    (void)file;
    (void)op;
    (void)argument;
    return SQLITE_NOTFOUND;
}
int shiftedSectorSize(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xSectorSize(real);
}
int shiftedDeviceCharacteristics(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xDeviceCharacteristics(real);
}

// Version 1: no shared memory and no memory mapping, so the database is used in rollback mode
// (the dump is written without a journal and read only).
const sqlite3_io_methods kShiftedMethods = {
    1,
    shiftedClose,
    shiftedRead,
    shiftedWrite,
    shiftedTruncate,
    shiftedSync,
    shiftedFileSize,
    shiftedLock,
    shiftedUnlock,
    shiftedCheckReservedLock,
    shiftedFileControl,
    shiftedSectorSize,
    shiftedDeviceCharacteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

sqlite3_vfs* underlying() { return sqlite3_vfs_find(nullptr); }

int shiftedOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* real = underlying();
    auto* shifted = reinterpret_cast<ShiftedFile*>(file);
    shifted->real = reinterpret_cast<sqlite3_file*>(shifted + 1);
    const int rc = real->xOpen(real, name, shifted->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        file->pMethods = nullptr;
        return rc;
    }
    // Only the database itself lies behind the header; anything else SQLite opens is its own.
    file->pMethods =
        (flags & SQLITE_OPEN_MAIN_DB) != 0 ? &kShiftedMethods : shifted->real->pMethods;
    if (file->pMethods != &kShiftedMethods) {
        // Not shifted: hand SQLite the real file's methods on the real file's storage.
        file->pMethods = nullptr;
        shifted->real->pMethods->xClose(shifted->real);
        return SQLITE_CANTOPEN;
    }
    return SQLITE_OK;
}
int passDelete(sqlite3_vfs*, const char* name, int syncDir) {
    return underlying()->xDelete(underlying(), name, syncDir);
}
int passAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return underlying()->xAccess(underlying(), name, flags, out);
}
int passFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return underlying()->xFullPathname(underlying(), name, size, out);
}
void* passDlOpen(sqlite3_vfs*, const char* name) {
    return underlying()->xDlOpen(underlying(), name);
}
void passDlError(sqlite3_vfs*, int size, char* out) {
    underlying()->xDlError(underlying(), size, out);
}
void (*passDlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
    return underlying()->xDlSym(underlying(), handle, symbol);
}
void passDlClose(sqlite3_vfs*, void* handle) { underlying()->xDlClose(underlying(), handle); }
int passRandomness(sqlite3_vfs*, int size, char* out) {
    return underlying()->xRandomness(underlying(), size, out);
}
int passSleep(sqlite3_vfs*, int microseconds) {
    return underlying()->xSleep(underlying(), microseconds);
}
int passCurrentTime(sqlite3_vfs*, double* now) {
    return underlying()->xCurrentTime(underlying(), now);
}
int passGetLastError(sqlite3_vfs*, int size, char* out) {
    return underlying()->xGetLastError ? underlying()->xGetLastError(underlying(), size, out) : 0;
}

}  // namespace

const char* dumpDataVfs() {
    static const char* const kName = "aseemu-dump-data";
    static std::once_flag once;
    std::call_once(once, [] {
        static sqlite3_vfs vfs{};
        sqlite3_vfs* real = underlying();
        vfs.iVersion = 1;
        vfs.szOsFile = static_cast<int>(sizeof(ShiftedFile)) + real->szOsFile;
        vfs.mxPathname = real->mxPathname;
        vfs.zName = kName;
        vfs.xOpen = shiftedOpen;
        vfs.xDelete = passDelete;
        vfs.xAccess = passAccess;
        vfs.xFullPathname = passFullPathname;
        vfs.xDlOpen = passDlOpen;
        vfs.xDlError = passDlError;
        vfs.xDlSym = passDlSym;
        vfs.xDlClose = passDlClose;
        vfs.xRandomness = passRandomness;
        vfs.xSleep = passSleep;
        vfs.xCurrentTime = passCurrentTime;
        vfs.xGetLastError = passGetLastError;
        sqlite3_vfs_register(&vfs, 0);
    });
    return kName;
}

}  // namespace tvr::sim
