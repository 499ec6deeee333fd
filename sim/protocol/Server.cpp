#include "sim/protocol/Server.h"

#include "sim/protocol/Session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tvr::sim {
namespace {

// Each connection has a thread of its own; beyond this many, new ones are turned away.
constexpr std::size_t MaxConnections = 256;

}  // namespace

Server::Server(ServerState& state, CommandSet commands)
    : state_(state), commands_(std::move(commands)), trace_(state.options().traceFile) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    wakeRead_ = pipeEnds[0];
    wakeWrite_ = pipeEnds[1];
}

Server::~Server() {
    stop();
    reapFinished(true);
    if (listener_ >= 0) ::close(listener_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

int Server::listen(int port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 std::strerror(errno));
    if (::listen(listener_, 64) != 0)
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void Server::run() {
    while (!state_.stopping()) {
        pollfd waiting[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        int ready = ::poll(waiting, 2, 1000);
        reapFinished(false);
        if (ready < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (ready <= 0 || state_.stopping()) continue;
        if ((waiting[0].revents & POLLIN) == 0) continue;
        int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        {
            std::lock_guard lock(mutex_);
            if (clients_.size() >= MaxConnections) {
                logLine(state_.serverName(),
                        "refused a connection: " + std::to_string(MaxConnections) +
                            " connections are open");
                ::close(socket);
                continue;
            }
        }
        int yes = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        Client* raw = client.get();
        int id = state_.nextConnectionId();
        std::lock_guard lock(mutex_);
        raw->thread = std::thread([this, raw, socket, id] {
            {
                Session session(state_, commands_, trace_, socket, id);
                session.run();
            }
            std::lock_guard inner(mutex_);
            raw->socket = -1;
            ::close(socket);
            raw->finished = true;
        });
        clients_.push_back(std::move(client));
    }
    // Wake every session blocked on its socket; each closes its connection and ends.
    {
        std::lock_guard lock(mutex_);
        for (auto& client : clients_)
            if (client->socket >= 0) ::shutdown(client->socket, SHUT_RDWR);
    }
    reapFinished(true);
}

void Server::stop() {
    if (state_.stopping()) return;
    state_.requestStop();
    char byte = 1;
    ssize_t written = ::write(wakeWrite_, &byte, 1);
    (void)written;
}

void Server::reapFinished(bool all) {
    std::list<std::unique_ptr<Client>> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if (all || (*it)->finished) {
                done.push_back(std::move(*it));
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& client : done)
        if (client->thread.joinable()) client->thread.join();
}

}  // namespace tvr::sim
