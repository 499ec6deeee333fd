#pragma once
// SIGTERM and SIGINT (systemd's stop, Ctrl+C, a shutdown) turned into a descriptor an event
// loop can watch: the handler only writes the signal's number into a pipe, since nothing else
// is safe inside a handler; whoever reads the descriptor stops the program in its own time.
#include <string>

namespace tvr::platform {

// One at a time in a process: it takes both signals over while it lives and gives them back to
// what they did before when it goes. Throws std::runtime_error when the pipe or a handler
// cannot be had.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable while a signal waits to be taken.
    int descriptor() const { return readFd_; }
    // The number of one signal that came, without blocking; 0 when none waits.
    int take();

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

// "SIGTERM", "SIGINT", or "signal N" for any other.
std::string signalName(int signal);

}  // namespace tvr::platform
