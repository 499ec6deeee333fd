#include "tests/e2e/ProgramProcess.h"

#include "tests/support/TempFolder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tvr::e2e {

std::string binDir() {
    const char* dir = std::getenv("TVR_BIN_DIR");
    return dir ? dir : ".";
}

ProgramProcess::ProgramProcess(const std::string& program, const std::vector<std::string>& args,
                               std::filesystem::path output, std::filesystem::path errors)
    : output_(std::move(output)), errors_(std::move(errors)) {
    std::vector<std::string> all{binDir() + "/" + program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (errors_.empty())
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors_.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int rc = ::posix_spawn(&pid_, all[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + all[0]);
    }
}

ProgramProcess::~ProgramProcess() { end(); }

std::optional<int> ProgramProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return status_;
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = status;
            return status_;
        }
        if (std::chrono::steady_clock::now() > until) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::optional<int> ProgramProcess::exitCode(std::chrono::milliseconds timeout) {
    const std::optional<int> status = wait(timeout);
    if (!status || !WIFEXITED(*status)) return std::nullopt;
    return WEXITSTATUS(*status);
}

bool ProgramProcess::running() { return !wait(std::chrono::milliseconds(0)); }

void ProgramProcess::kill(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

void ProgramProcess::end() {
    kill(SIGKILL);
    wait(std::chrono::seconds(60));
}

std::string ProgramProcess::output() const { return tvr::testing::fileText(output_); }

std::string ProgramProcess::errors() const { return tvr::testing::fileText(errors_); }

}  // namespace tvr::e2e
