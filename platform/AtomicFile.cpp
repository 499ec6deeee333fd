#include "platform/AtomicFile.h"

#include "platform/FileWrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace tvr::platform {
namespace {

[[noreturn]] void throwErrno(const std::string& what, int err = errno) {
    throw std::system_error(err, std::generic_category(), what);
}

void closeQuietly(int fd) {
    if (fd >= 0) ::close(fd);
}

std::filesystem::path resolvedTarget(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_symlink(file, ec)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(file, ec);
        if (!ec) return resolved;
    }
    return file;
}

// The temporary files of a replacement: "." + the file's name + "." + mkostemp's six characters.
std::string temporaryPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string() + ".";
}
constexpr std::size_t kTemporarySuffixLength = 6;

[[noreturn]] void closeAndThrow(int fd, const char* what) {
    const int err = errno;
    closeQuietly(fd);
    throwErrno(what, err);
}

}  // namespace

FileLock::FileLock(const std::filesystem::path& lockFile) {
    std::error_code ec;
    std::filesystem::create_directories(
        lockFile.parent_path().empty() ? "." : lockFile.parent_path(), ec);
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throwErrno("cannot open the lock file \"" + lockFile.string() + "\"");
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        closeQuietly(fd_);
        throwErrno("cannot lock \"" + lockFile.string() + "\"", err);
    }
}

FileLock::~FileLock() { closeQuietly(fd_); }

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    return readFileEnd(file, UINT64_MAX);
}

std::optional<std::string> readFileEnd(const std::filesystem::path& file, std::uint64_t lastBytes,
                                       std::uint64_t endAt, std::uint64_t* startedAt) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throwErrno("cannot open");
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) closeAndThrow(fd, "cannot read");
    // One allocation of the size to read, so a large file costs no more than its bytes.
    std::string out;
    std::uint64_t from = 0, to = UINT64_MAX;
    if (S_ISREG(info.st_mode)) {
        to = std::min(endAt, static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0)));
        from = to > lastBytes ? to - lastBytes : 0;
        if (from > 0 && ::lseek(fd, static_cast<off_t>(from), SEEK_SET) < 0)
            closeAndThrow(fd, "cannot read");
        out.reserve(static_cast<std::size_t>(to - from));
    }
    if (startedAt) *startedAt = from;
    char buf[65536];
    for (std::uint64_t left = to - from; left > 0;) {
        const ssize_t n =
            ::read(fd, buf, static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof buf)));
        if (n < 0) {
            if (errno == EINTR) continue;
            closeAndThrow(fd, "cannot read");
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        left -= static_cast<std::uint64_t>(n);
    }
    closeQuietly(fd);
    return out;
}

void replaceFileAtomically(const std::filesystem::path& file, std::string_view content,
                           const ReplaceStageHook& hook) {
    const std::filesystem::path target = resolvedTarget(file);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) throw std::system_error(ec, "cannot create the folder \"" + folder.string() + "\"");
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    }

    // A file this user may not write is left alone, as its owner asked, although the folder
    // would allow replacing it.
    if (::faccessat(AT_FDCWD, target.c_str(), F_OK, AT_EACCESS) == 0 &&
        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throwErrno("the file is read-only");

    std::string tempName =
        (folder / (temporaryPrefix(target) + std::string(kTemporarySuffixLength, 'X'))).string();
    int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) throwErrno("cannot create a temporary file in \"" + folder.string() + "\"");
    try {
        struct stat st {};
        const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
        if (::fchmod(fd, mode) != 0) throwErrno("cannot set the permissions");
        if (!writeWhole(fd, content)) throwErrno("cannot write");
        if (hook) hook(ReplaceStage::TempWritten);
        if (::fsync(fd) != 0) throwErrno("cannot sync");
        if (hook) hook(ReplaceStage::TempSynced);
        const int closed = ::close(fd);
        fd = -1;
        if (closed != 0) throwErrno("cannot write");
    } catch (...) {
        closeQuietly(fd);
        ::unlink(tempName.c_str());
        throw;
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tempName.c_str());
        throwErrno("cannot replace", err);
    }
    if (hook) hook(ReplaceStage::Renamed);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        // The rename is done; a folder that cannot be synced costs durability, not content.
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void removeLeftoverTemporaries(const std::filesystem::path& file) {
    const std::filesystem::path target = resolvedTarget(file);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory) return;
        throw std::system_error(ec, "cannot list \"" + folder.string() + "\"");
    }
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) throw std::system_error(ec, "cannot list \"" + folder.string() + "\"");
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix))
            continue;
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        if (::unlink(it->path().c_str()) != 0 && errno != ENOENT)
            throwErrno("cannot remove \"" + it->path().string() + "\"");
    }
}

}  // namespace tvr::platform
