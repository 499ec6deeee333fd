#pragma once
// Runs part of a test in a forked copy of the test process: to kill it half-way through an
// operation, or to run it without root's privileges, which ignore file permissions. The
// child ends with _exit and never returns into the test framework, so its findings come
// back as its exit code.
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>

namespace tvr::testing {

// The user a child runs as when it must not be root: "nobody" on Debian.
inline constexpr uid_t kUnprivilegedUser = 65534;
inline constexpr gid_t kUnprivilegedGroup = 65534;

enum class ChildPrivileges { Keep, Drop };

// Runs `body` in a child and returns its wait status (nothing when fork fails). With Drop,
// a child running as root first takes the unprivileged user and group (exit code 125 when
// it cannot). An exception out of `body` ends the child with exit code 126.
inline std::optional<int> runInChild(const std::function<int()>& body,
                                     ChildPrivileges privileges = ChildPrivileges::Keep) {
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (privileges == ChildPrivileges::Drop && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 ||
                ::setuid(kUnprivilegedUser) != 0)
                ::_exit(125);
        }
        int code = 126;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return std::nullopt;
    return status;
}

inline bool exitedWith(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

// Hands `path` and everything below it to the unprivileged user when the test runs as
// root, so that a child that dropped its privileges works there as the owner.
inline void giveToUnprivilegedUser(const std::filesystem::path& path) {
    if (::geteuid() != 0) return;
    if (::chown(path.c_str(), kUnprivilegedUser, kUnprivilegedGroup) != 0) std::abort();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        if (::lchown(entry.path().c_str(), kUnprivilegedUser, kUnprivilegedGroup) != 0)
            std::abort();
}

}  // namespace tvr::testing
