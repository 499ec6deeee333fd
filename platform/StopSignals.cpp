#include "platform/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace tvr::platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// The handler's only state: where it writes. A signal that finds the pipe full is dropped;
// one waiting is enough to stop.
volatile std::sig_atomic_t pipeToWrite = -1;
struct sigaction previous[2];

void onSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (pipeToWrite >= 0) (void)!::write(pipeToWrite, &number, 1);
    errno = saved;
}

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("cannot watch for the stop signals: ") + what + ": " +
                             std::strerror(errno));
}

}  // namespace

StopSignals::StopSignals() {
    if (pipeToWrite >= 0) throw std::runtime_error("the stop signals are watched already");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) fail("pipe");
    readFd_ = fds[0];
    writeFd_ = fds[1];
    pipeToWrite = writeFd_;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        if (::sigaction(kSignals[i], &action, &previous[i]) != 0) {
            const int saved = errno;
            for (int j = 0; j < i; ++j) ::sigaction(kSignals[j], &previous[j], nullptr);
            pipeToWrite = -1;
            ::close(readFd_);
            ::close(writeFd_);
            errno = saved;
            fail("sigaction");
        }
    }
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
    pipeToWrite = -1;
    ::close(readFd_);
    ::close(writeFd_);
}

int StopSignals::take() {
    unsigned char number = 0;
    if (::read(readFd_, &number, 1) != 1) return 0;
    return number;
}

std::string signalName(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        default:
            return "signal " + std::to_string(signal);
    }
}

}  // namespace tvr::platform
