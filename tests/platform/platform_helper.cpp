// A second process for the platform tests: writes to a registry file, dies in the middle
// of a write, or holds the single-instance guard.
#include "platform/InstanceGuard.h"
#include "platform/Registry.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace tvr::platform;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: platform_helper write FILE KEY PREFIX COUNT\n"
                 "       platform_helper crash-at STAGE FILE KEY NAME TEXT\n"
                 "       platform_helper hold-guard LOCKFILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    try {
        if (command == "write" && argc == 6) {
            // Values PREFIX0 .. PREFIX<COUNT-1>, one write each, in order.
            Registry reg(argv[2]);
            const int count = std::atoi(argv[5]);
            for (int i = 0; i < count; ++i) {
                const std::string name = std::string(argv[4]) + std::to_string(i);
                if (reg.writeText(argv[3], name, "value " + name) != RegStatus::Ok) return 1;
            }
            return 0;
        }
        if (command == "crash-at" && argc == 7) {
            const int stage = std::atoi(argv[2]);
            Registry reg(argv[3]);
            reg.setReplaceStageHook([stage](ReplaceStage s) {
                if (static_cast<int>(s) == stage) ::raise(SIGKILL);
            });
            reg.writeText(argv[4], argv[5], argv[6]);
            return 0;
        }
        if (command == "hold-guard" && argc == 3) {
            InstanceGuard guard(argv[2]);
            std::printf("%s\n", guard.held() ? "held" : "refused");
            std::fflush(stdout);
            if (!guard.held()) return 1;
            for (;;) ::pause();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return usage();
}
