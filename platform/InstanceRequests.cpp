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

// The address of a socket file. A path that does not fit sun_path (a long profile name under
// a long configuration folder) is reached through its folder, opened here as a descriptor:
// /proc/self/fd/N/name is short whatever the folder, and still names the same file, so both
// sides find each other beside the guard and nothing is cut.
class SocketAddress {
public:
    explicit SocketAddress(const std::filesystem::path& file) {
        std::memset(&address_, 0, sizeof address_);
        address_.sun_family = AF_UNIX;
        const std::string path = file.string();
        if (!path.empty() && path.size() < sizeof address_.sun_path) {
            std::memcpy(address_.sun_path, path.c_str(), path.size());
            return;
        }
        const std::filesystem::path parent =
            file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
        const std::string name = file.filename().string();
        folder_ = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder_ < 0) {
            error_ = "cannot open the folder of \"" + path + "\": " + std::strerror(errno);
            return;
        }
        const std::string shorter = "/proc/self/fd/" + std::to_string(folder_) + "/" + name;
        if (name.empty() || shorter.size() >= sizeof address_.sun_path) {
            error_ = "the socket \"" + path + "\" has a name too long for a socket address";
            return;
        }
        std::memcpy(address_.sun_path, shorter.c_str(), shorter.size());
    }
    ~SocketAddress() {
        if (folder_ >= 0) ::close(folder_);
    }
    SocketAddress(const SocketAddress&) = delete;
    SocketAddress& operator=(const SocketAddress&) = delete;

    bool usable() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    socklen_t size() const { return sizeof address_; }

private:
    sockaddr_un address_;
    int folder_ = -1;
    std::string error_;
};

}  // namespace

std::filesystem::path requestSocketFile(const std::filesystem::path& lockFile) {
    return lockFile.string() + ".socket";
}

bool askRunningInstanceToShow(const std::filesystem::path& socketFile) {
    const SocketAddress address(socketFile);
    if (!address.usable()) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto closeSocket = onScopeExit([fd] { ::close(fd); });
    if (::connect(fd, address.get(), address.size()) != 0) return false;
    return ::send(fd, kShow, sizeof kShow - 1, MSG_NOSIGNAL) == sizeof kShow - 1;
}

RequestListener::RequestListener(std::filesystem::path socketFile) : file_(std::move(socketFile)) {
    const SocketAddress address(file_);
    if (!address.usable()) {
        error_ = address.error();
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
    const bool bound = ::bind(fd, address.get(), address.size()) == 0;
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
