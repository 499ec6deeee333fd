#include "platform/FileWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace tvr::platform
