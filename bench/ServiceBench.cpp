// tvr --service left running against two emulators, passes back to back (no interval): the
// passes it ships, its processor time and its peak resident memory, and both per hour and per
// 100,000 passes, as a server that runs it for months would pay them.
//   service_bench [SECONDS]      (default 60)
#include "bench/ShippingServers.h"
#include "tests/support/Emulator.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Runs `program` with `args`, standard output and error into `output`; its exit status, and
// in `usage` what it used.
int run(const std::string& program, std::vector<std::string> args, const fs::path& output,
        rusage* usage = nullptr, const std::function<void(pid_t)>& whileRunning = {}) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s\n", program.c_str());
        std::exit(1);
    }
    if (whileRunning) whileRunning(pid);
    int status = 0;
    rusage used{};
    ::wait4(pid, &status, 0, &used);
    if (usage) *usage = used;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    tvr::bench::findEmulatorBesideThisProgram();
    const fs::path bin = std::getenv("TVR_BIN_DIR");
    const fs::path dir =
        fs::temp_directory_path() / ("tvr-service-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "sybase");
    ::setenv("SYBASE", (dir / "sybase").c_str(), 1);
    ::setenv("TVR_REGISTRY", (dir / "registry.reg").c_str(), 1);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
    {
        tvr::testing::EmulatorOptions mainOptions;
        mainOptions.name = "SVCMAIN";
        mainOptions.databases = {"sales"};
        mainOptions.logins = {"sa:main-secret"};
        tvr::testing::Emulator main(mainOptions);
        tvr::testing::EmulatorOptions reserveOptions;
        reserveOptions.name = "SVCRESERVE";
        reserveOptions.databases = {"sales_copy"};
        reserveOptions.logins = {"sa:reserve-secret"};
        tvr::testing::Emulator reserve(reserveOptions);

        const int setup =
            run((bin / "tvr_first_setup").string(),
                {"--main-server", "SVCMAIN", "--main-database", "sales", "--reserve-server",
                 "SVCRESERVE", "--reserve-database", "sales_copy", "--main-password", "main-secret",
                 "--reserve-password", "reserve-secret", "--dump-folder", (dir / "dumps").string(),
                 "--load-folder", (dir / "dumps").string(), "--log-folder", (dir / "log").string(),
                 "--clear-dumps"},
                dir / "setup.out");
        if (!WIFEXITED(setup) || WEXITSTATUS(setup) != 0) {
            std::fprintf(stderr, "first setup failed:\n%s", fileText(dir / "setup.out").c_str());
            return 1;
        }
        std::ofstream(dir / "passwords") << "P1:main-secret\nP2:reserve-secret\n";
        fs::permissions(dir / "passwords", fs::perms::owner_read | fs::perms::owner_write);

        long peakKiB = 0;
        rusage usage{};
        const auto began = std::chrono::steady_clock::now();
        const int status = run(
            (bin / "tvr").string(), {"--service", "--password-file", (dir / "passwords").string()},
            dir / "service.out", &usage, [&](pid_t pid) {
                std::this_thread::sleep_for(std::chrono::seconds(seconds));
                std::ifstream statusFile("/proc/" + std::to_string(pid) + "/status");
                for (std::string line; std::getline(statusFile, line);)
                    if (line.rfind("VmHWM:", 0) == 0) peakKiB = std::atol(line.c_str() + 6);
                ::kill(pid, SIGTERM);
            });
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const double cpu =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        std::string log;
        for (const auto& entry : fs::directory_iterator(dir / "log"))
            if (entry.path().filename().string().rfind("sales", 0) == 0)
                log = fileText(entry.path());
        const int passes = count(log, "LOAD is complete");
        std::printf("service_bench: %d s of tvr --service, passes back to back\n", seconds);
        std::printf("  exit status          %d%s\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                    WIFEXITED(status) ? "" : " (killed)");
        std::printf("  passes loaded        %d (%.0f per hour)\n", passes, passes * 3600 / wall);
        std::printf("  processor time       %.2f s (%.1f s per hour of running)\n", cpu,
                    cpu * 3600 / wall);
        if (passes > 0)
            std::printf("  per pass             %.2f ms; per 100,000 passes %.0f s\n",
                        cpu * 1000 / passes, cpu * 100000 / passes);
        std::printf("  peak resident memory %ld KiB\n", peakKiB);
        std::printf("  (tvr's own time; the emulators' is not counted)\n");
    }
    fs::remove_all(dir);
    return 0;
}
