#include "platform/InstanceGuard.h"

#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/RegistryError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvr::platform {

std::filesystem::path InstanceGuard::defaultLockFile() {
    try {
        std::filesystem::path beside = Registry::defaultFile();
        beside += ".instance";
        return beside;
    } catch (const RegistryError&) {
        // No registry file either: the program will say so; the guard still keeps one per
        // user.
    }
    if (auto dir = environmentValue("XDG_RUNTIME_DIR"); dir && !dir->empty())
        return std::filesystem::path(*dir) / "DumpLoadDBSync";
    return "/tmp/DumpLoadDBSync-" + std::to_string(::getuid());
}

InstanceGuard::InstanceGuard(std::filesystem::path lockFile) {
    // The registry file's folder does not exist before the first settings are saved.
    std::error_code noFolder;
    if (lockFile.has_parent_path())
        std::filesystem::create_directories(lockFile.parent_path(), noFolder);
    // O_NOFOLLOW: in a shared /tmp another user must not redirect the lock elsewhere.
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        error_ = "Cannot open \"" + lockFile.string() + "\": " + std::strerror(errno);
        return;
    }
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        state_ = State::Held;
        return;
    }
    if (errno == EWOULDBLOCK) {
        state_ = State::HeldElsewhere;
    } else {
        error_ = "Cannot lock \"" + lockFile.string() + "\": " + std::strerror(errno);
    }
    ::close(fd_);
    fd_ = -1;
}

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace tvr::platform
