#include "platform/InstanceRequests.h"

#include "platform/ScopeExit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvr::platform {

namespace {

constexpr char kShow[] = "show\n";

// The address of `file`, or false when the path does not fit an address.
bool addressOf(const std::filesystem::path& file, sockaddr_un& address) {
    const std::string path = file.string();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return true;
}

}  // namespace

std::filesystem::path requestSocketFile(const std::filesystem::path& lockFile) {
    return lockFile.string() + ".socket";
}

bool askRunningInstanceToShow(const std::filesystem::path& socketFile) {
    sockaddr_un address;
    if (!addressOf(socketFile, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto closeSocket = onScopeExit([fd] { ::close(fd); });
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    return ::send(fd, kShow, sizeof kShow - 1, MSG_NOSIGNAL) == sizeof kShow - 1;
}

RequestListener::RequestListener(std::filesystem::path socketFile) : file_(std::move(socketFile)) {
    sockaddr_un address;
    if (!addressOf(file_, address)) {
        error_ = "the path \"" + file_.string() + "\" is too long for a socket";
        return;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // Only the guard's holder gets here: whatever has the name is a dead instance's socket.
    ::unlink(file_.c_str());
    // Created for this user alone, whatever the umask.
    const mode_t previous = ::umask(0077);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::listen(fd, 4) != 0) {
        error_ = "cannot listen on \"" + file_.string() + "\": " + std::strerror(errno);
        ::close(fd);
        return;
    }
    fd_ = fd;
}

RequestListener::~RequestListener() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(file_.c_str());
}

bool RequestListener::takeRequest() {
    if (fd_ < 0) return false;
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return false;
    const auto closeClient = onScopeExit([client] { ::close(client); });
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid())
        return false;
    // The asking side writes its few bytes at once; a peer that sends nothing within a moment
    // is not kept waiting for, so the GUI thread never stalls here.
    pollfd ready{client, POLLIN, 0};
    if (::poll(&ready, 1, 200) <= 0) return false;
    char text[sizeof kShow] = {};
    const ssize_t got = ::recv(client, text, sizeof text - 1, 0);
    return got == sizeof kShow - 1 && std::strcmp(text, kShow) == 0;
}

}  // namespace tvr::platform
