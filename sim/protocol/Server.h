#pragma once
// The listener: accepts clients on 127.0.0.1 only and serves each on a thread of its own.
#include "sim/protocol/CommandTrace.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/storage/ServerState.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace tvr::sim {

class Server {
public:
    Server(ServerState& state, CommandSet commands);
    ~Server();

    // Binds the port (0: any free one) and listens; returns the port. Throws std::runtime_error.
    int listen(int port);
    // Accepts clients until stop(); then closes every connection and joins their threads.
    void run();
    // May be called from any thread (or from a signal-handling thread).
    void stop();

private:
    struct Client {
        std::thread thread;
        std::atomic<bool> finished{false};
        int socket = -1;
    };
    void reapFinished(bool all);

    ServerState& state_;
    CommandSet commands_;
    CommandTrace trace_;
    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::mutex mutex_;
    std::list<std::unique_ptr<Client>> clients_;
};

}  // namespace tvr::sim
