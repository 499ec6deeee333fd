#pragma once
// How a later start reaches the running instance: a Unix-domain socket beside the guard's lock
// file, on which the instance that holds the guard listens. A later start that finds the guard
// held connects once and says "show"; the running instance brings its window up. Only
// requests of the same user are taken, so another user's process cannot drive the window.
#include <filesystem>
#include <string>

namespace tvr::platform {

// The socket beside `lockFile`: the same name with ".socket" appended. A path longer than a
// socket address holds is reached through its folder; only a file name itself too long for
// one is refused (the listener's error() says so, and a later start cannot reach it).
std::filesystem::path requestSocketFile(const std::filesystem::path& lockFile);

// Asks the instance listening on `socketFile` to show its window; true when it was told (a
// socket that nobody listens on, or none at all, gives false). Does not wait for the answer.
bool askRunningInstanceToShow(const std::filesystem::path& socketFile);

// The listening side. Only the guard's holder makes one, so a socket file found in its place
// was left by an instance that died and is replaced.
class RequestListener {
public:
    explicit RequestListener(std::filesystem::path socketFile);
    ~RequestListener();
    RequestListener(const RequestListener&) = delete;
    RequestListener& operator=(const RequestListener&) = delete;

    bool listening() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    // The descriptor that becomes readable when a request waits (for an event loop to watch).
    int descriptor() const { return fd_; }
    // Takes one waiting connection, without blocking: true when it was a show request of this
    // user.
    bool takeRequest();

private:
    std::filesystem::path file_;
    int fd_ = -1;
    std::string error_;
};

}  // namespace tvr::platform
