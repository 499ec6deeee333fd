#pragma once
// The single-instance guard "DumpLoadDBSync": an exclusive flock on a per-user lock file.
// The kernel releases it when the holding process dies, so no stale guard survives a crash.
#include <filesystem>
#include <string>

namespace tvr::platform {

class InstanceGuard {
public:
    enum class State {
        Held,           // this process is the running instance
        HeldElsewhere,  // another instance holds the guard
        Failed,         // the lock file cannot be opened or locked (see error())
    };

    // Beside the registry file, its name with ".instance" appended (".lock" is the registry's
    // own write lock): the guard keeps one program to one set of settings, also when a second
    // one starts from another login session (whose runtime folder differs) and would ship the
    // same pair into the same dump file names. Only when no registry file can be named:
    // $XDG_RUNTIME_DIR/DumpLoadDBSync, else /tmp/DumpLoadDBSync-<uid>.
    static std::filesystem::path defaultLockFile();

    // Tries once, without waiting. The lock file's folder is made when it is missing.
    explicit InstanceGuard(std::filesystem::path lockFile = defaultLockFile());
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    State state() const { return state_; }
    bool held() const { return state_ == State::Held; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    State state_ = State::Failed;
    std::string error_;
};

}  // namespace tvr::platform
