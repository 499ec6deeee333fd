#include "service/ServiceDisplay.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tvr::service {

ServiceDisplay::ServiceDisplay() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("no pipe for the service loop: ") +
                                 std::strerror(errno));
    readFd_ = fds[0];
    writeFd_ = fds[1];
}

ServiceDisplay::~ServiceDisplay() {
    ::close(readFd_);
    ::close(writeFd_);
}

void ServiceDisplay::drain() {
    char bytes[64];
    while (::read(readFd_, bytes, sizeof bytes) > 0) {
    }
}

void ServiceDisplay::WorkerEnded() {
    // A full pipe already says the same; nothing is lost when this byte is not written.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(writeFd_, &byte, 1);
}

}  // namespace tvr::service
