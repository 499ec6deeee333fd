#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tvr::testing {
namespace {

// The freetds.conf of this process: one section per running emulator.
class FreeTdsConfig {
public:
    static FreeTdsConfig& instance() {
        static FreeTdsConfig config;
        return config;
    }

    std::string path() {
        std::lock_guard lock(mutex_);
        ensureLocked();
        return path_;
    }

    void set(const std::string& name, int port) {
        std::lock_guard lock(mutex_);
        ensureLocked();
        servers_[name] = port;
        writeLocked();
    }

    void remove(const std::string& name) {
        std::lock_guard lock(mutex_);
        servers_.erase(name);
        if (!path_.empty()) writeLocked();
    }

    ~FreeTdsConfig() {
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

private:
    void ensureLocked() {
        if (!path_.empty()) return;
        char pattern[] = "/tmp/tvr-freetds-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
        folder_ = pattern;
        path_ = folder_ + "/freetds.conf";
        writeLocked();
        ::setenv("FREETDSCONF", path_.c_str(), 1);
    }

    // Written beside and renamed over, so that a client reading it never sees half a file.
    void writeLocked() {
        std::ostringstream text;
        text << "[global]\n\ttds version = 5.0\n\tclient charset = UTF-8\n";
        for (const auto& [name, port] : servers_)
            text << "\n[" << name << "]\n\thost = 127.0.0.1\n\tport = " << port
                 << "\n\ttds version = 5.0\n\tclient charset = UTF-8\n";
        std::string temporary = path_ + ".new";
        {
            std::ofstream out(temporary, std::ios::trunc);
            out << text.str();
        }
        std::filesystem::rename(temporary, path_);
    }

    std::mutex mutex_;
    std::string folder_;
    std::string path_;
    std::map<std::string, int> servers_;
};

std::string aseemuPath() {
    const char* bin = std::getenv("TVR_BIN_DIR");
    if (bin == nullptr || *bin == '\0')
        throw std::runtime_error("TVR_BIN_DIR is not set; it names the folder that holds aseemu");
    return std::string(bin) + "/aseemu";
}

}  // namespace

std::string freetdsConfigPath() { return FreeTdsConfig::instance().path(); }

Emulator::Emulator(EmulatorOptions options) : options_(std::move(options)) {
    char pattern[] = "/tmp/tvr-emu-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    ownedRoot_ = pattern;
    if (options_.dataDir.empty()) options_.dataDir = ownedRoot_ + "/data";
    tracePath_ = ownedRoot_ + "/trace.log";
    try {
        start();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(ownedRoot_, ignored);
        throw;
    }
}

Emulator::Emulator(const std::string& name, std::vector<std::string> databases)
    : Emulator([&] {
          EmulatorOptions options;
          options.name = name;
          options.databases = std::move(databases);
          return options;
      }()) {}

Emulator::~Emulator() {
    if (pid_ > 0) stop();
    std::error_code ignored;
    std::filesystem::remove_all(ownedRoot_, ignored);
}

void Emulator::start(std::vector<std::string> logins) {
    options_.logins = std::move(logins);
    start();
}

void Emulator::start() {
    if (pid_ > 0) throw std::logic_error("emulator " + options_.name + " is already running");
    std::vector<std::string> arguments = {aseemuPath(),     "--name",  options_.name,
                                          "--port",         "0",       "--data",
                                          options_.dataDir, "--trace", tracePath_};
    for (const std::string& database : options_.databases) {
        arguments.push_back("--database");
        arguments.push_back(database);
    }
    for (const std::string& login : options_.logins) {
        arguments.push_back("--login");
        arguments.push_back(login);
    }
    arguments.insert(arguments.end(), options_.extraArgs.begin(), options_.extraArgs.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const pid_t parent = ::getpid();
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    {
        std::lock_guard lock(logonsMutex_);
        starts_.push_back(traceSize());
    }
    pid_ = child;
    stdoutPipe_ = pipeEnds[0];

    // The first line is "listening on 127.0.0.1:PORT".
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd waiting{stdoutPipe_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[256];
        ssize_t got = ::read(stdoutPipe_, buffer, sizeof buffer);
        if (got <= 0) break;
        line.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0 || line.find('\n') == std::string::npos) {
        ::kill(pid_, SIGKILL);
        reap(false);
        throw std::runtime_error("aseemu " + options_.name + " did not start (first output: '" +
                                 line + "')");
    }
    port_ = std::atoi(line.c_str() + prefix.size());
    FreeTdsConfig::instance().set(options_.name, port_);
}

void Emulator::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    reap(true);
}

void Emulator::signal(int sig) {
    if (pid_ <= 0) return;
    ::kill(pid_, sig);
    if (sig == SIGKILL) reap(false);
}

void Emulator::reap(bool expectClean) {
    int status = 0;
    pid_t done = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
        ADD_FAILURE() << "aseemu " << options_.name
                      << " did not stop within 30 s of SIGTERM; killing it";
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        expectClean = false;
    }
    if (expectClean && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        if (WIFEXITED(status))
            ADD_FAILURE() << "aseemu " << options_.name << " exited with status "
                          << WEXITSTATUS(status);
        else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGTERM)
            ADD_FAILURE() << "aseemu " << options_.name << " died of signal " << WTERMSIG(status);
    }
    pid_ = -1;
    if (stdoutPipe_ >= 0) ::close(stdoutPipe_);
    stdoutPipe_ = -1;
    FreeTdsConfig::instance().remove(options_.name);
}

std::size_t Emulator::traceSize() const {
    // The size alone: a long run's trace grows to tens of megabytes, which reading whole at
    // each restart or logon would leave in the heap of the process that measures itself.
    std::error_code missing;
    const auto size = std::filesystem::file_size(tracePath_, missing);
    return missing ? 0 : static_cast<std::size_t>(size);
}

std::string Emulator::traceText() const {
    std::ifstream in(tracePath_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<Emulator::TracedCommand> Emulator::tracedCommands() const {
    const std::string trace = traceText();
    std::vector<TracedCommand> commands;
    for (std::size_t at = 0; at < trace.size();) {
        TracedCommand command{0, at, {}};
        std::size_t length = 0;
        int heading = 0;
        if (std::sscanf(trace.c_str() + at, "-- connection %d, %zu bytes%n", &command.connection,
                        &length, &heading) != 2 ||
            heading == 0)
            break;
        const std::size_t text = at + static_cast<std::size_t>(heading) + 1;
        if (text + length + 1 > trace.size()) break;  // a record still being written
        command.text = trace.substr(text, length);
        at = text + length + 1;
        commands.push_back(std::move(command));
    }
    return commands;
}

void Emulator::noteLogon(std::size_t traceBefore) {
    const std::size_t traceAfter = traceSize();
    std::lock_guard lock(logonsMutex_);
    std::size_t runStart = 0;
    for (std::size_t start : starts_)
        if (start <= traceBefore) runStart = start;
    std::vector<int> spoken;  // connections of this run heard before the logon
    std::vector<int> fresh;   // connections first heard during it
    for (const TracedCommand& command : tracedCommands()) {
        if (command.offset < runStart || command.offset >= traceAfter) continue;
        const auto heard = [&](const std::vector<int>& connections) {
            return std::find(connections.begin(), connections.end(), command.connection) !=
                   connections.end();
        };
        if (!heard(spoken) && !heard(fresh))
            (command.offset < traceBefore ? spoken : fresh).push_back(command.connection);
    }
    for (int connection : fresh) logons_.push_back({connection, traceBefore, traceAfter});
}

std::vector<Emulator::TracedCommand> Emulator::ownCommands() const {
    std::vector<TracedCommand> commands = tracedCommands();
    std::lock_guard lock(logonsMutex_);
    std::erase_if(commands, [&](const TracedCommand& command) {
        return std::any_of(logons_.begin(), logons_.end(), [&](const LogonTraffic& logon) {
            return logon.connection == command.connection && logon.begin <= command.offset &&
                   command.offset < logon.end;
        });
    });
    return commands;
}

}  // namespace tvr::testing
