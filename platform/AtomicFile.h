#pragma once
// Whole-file reads and crash-safe replacement of small files shared between processes.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tvr::platform {

// An exclusive advisory lock (flock) on `lockFile`, created when missing, held for the
// object's lifetime. The kernel drops it when the process dies. Throws std::system_error.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// The whole file, or nothing when it does not exist. Throws std::system_error otherwise.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);
// The same for the part of a regular file that ends at `endAt` (its end, when that is
// beyond it) and holds at most `lastBytes` bytes; `startedAt` receives where that part starts.
std::optional<std::string> readFileEnd(const std::filesystem::path& file, std::uint64_t lastBytes,
                                       std::uint64_t endAt = UINT64_MAX,
                                       std::uint64_t* startedAt = nullptr);

// The points a replacement passes; tests stop a writer at each of them.
enum class ReplaceStage { TempWritten, TempSynced, Renamed };
using ReplaceStageHook = std::function<void(ReplaceStage)>;

// Writes `content` to a temporary file beside `file`, syncs it, renames it over `file`
// and syncs the folder, so that `file` holds either its old or its new content whatever
// happens. Missing folders are created; a new file is private to the user, an existing
// one keeps its permissions; a symbolic link is followed. An existing file this user may not
// write is not replaced. Throws std::system_error, after removing the temporary file.
void replaceFileAtomically(const std::filesystem::path& file, std::string_view content,
                           const ReplaceStageHook& hook = {});

// Removes the temporary files that replacements of `file` killed on their way left beside
// it. Only for a caller that holds the lock every writer of `file` takes: then no
// replacement is under way and every such file is a leftover. Throws std::system_error.
void removeLeftoverTemporaries(const std::filesystem::path& file);

}  // namespace tvr::platform
