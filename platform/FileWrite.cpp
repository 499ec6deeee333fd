#include "platform/FileWrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tvr::platform {

bool writeWhole(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

AppendResult appendToFile(const std::string& file, std::string_view data) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return AppendResult::OpenFailed;
    const bool written = writeWhole(fd, data);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return written ? AppendResult::Written : AppendResult::WriteFailed;
}

AppendResult appendEntryToFile(const std::string& file, std::string_view entry) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    // A file we may write but not read is appended to as before, unchecked.
    if (fd < 0 && errno == EACCES) return appendToFile(file, entry);
    if (fd < 0) return AppendResult::OpenFailed;
    // Released by the close below.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    const auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    bool separate = false;
    struct stat status {};
    if (!entry.empty() && !isLineEnd(entry.front()) && ::fstat(fd, &status) == 0 &&
        status.st_size > 0) {
        char last = '\n';
        separate = ::pread(fd, &last, 1, status.st_size - 1) == 1 && !isLineEnd(last);
    }
    const bool written =
        separate ? writeWhole(fd, "\r\n" + std::string(entry)) : writeWhole(fd, entry);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return written ? AppendResult::Written : AppendResult::WriteFailed;
}

}  // namespace tvr::platform
