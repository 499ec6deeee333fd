#pragma once
// The program (or one of our tools) run as a process of its own, with the environment of the
// test process, its standard output and error going to one file. Killed when the object goes.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tvr::e2e {

// The folder of the built executables (TVR_BIN_DIR, set by CTest).
std::string binDir();

class ProgramProcess {
public:
    // Starts binDir()/`program` with `args`; throws std::runtime_error when it cannot.
    // Standard error goes to `errors` when given, else with standard output to `output`.
    ProgramProcess(const std::string& program, const std::vector<std::string>& args,
                   std::filesystem::path output, std::filesystem::path errors = {});
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The wait status once the process has ended, or nothing after `timeout`.
    std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(120));
    // Its exit code once it has ended by itself; nothing when a signal ended it or it still
    // runs after `timeout`.
    std::optional<int> exitCode(std::chrono::milliseconds timeout = std::chrono::seconds(120));
    bool running();
    void kill(int signal);
    // Kills the process with SIGKILL and waits for it.
    void end();
    // What it wrote to standard output (and standard error, unless apart) so far.
    std::string output() const;
    // What it wrote to standard error when that goes apart.
    std::string errors() const;

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::filesystem::path output_;
    std::filesystem::path errors_;
};

// Polls `condition` every 50 ms until it holds or `timeout` passes; its last answer.
template <class Condition>
bool eventually(Condition condition, std::chrono::seconds timeout = std::chrono::seconds(120));

}  // namespace tvr::e2e

#include <thread>

template <class Condition>
bool tvr::e2e::eventually(Condition condition, std::chrono::seconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
