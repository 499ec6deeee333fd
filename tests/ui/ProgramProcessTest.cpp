// The program itself, started twice on the offscreen platform.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

using tvr::test::ChildProcess;

namespace {

std::string programPath() { return tvr::test::binDir() + "/tvr"; }

// True once process `pid` holds an flock on `file` (as /proc/locks lists it).
bool holdsLock(pid_t pid, const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return false;
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream in(line);
        std::string number, kind, mode, access, device;
        long owner = 0;
        if (!(in >> number >> kind >> mode >> access >> owner >> device)) continue;
        const auto colon = device.rfind(':');
        if (kind != "FLOCK" || owner != pid || colon == std::string::npos) continue;
        if (std::stoull(device.substr(colon + 1)) == st.st_ino) return true;
    }
    return false;
}

}  // namespace

TEST(ProgramProcess, ASecondStartEndsAtOnceWhileTheFirstRunsOn) {
    tvr::test::TempFolder runtime;
    tvr::test::ScopedEnvironment env;
    env.set("XDG_RUNTIME_DIR", runtime.string());
    env.set("SYBASE", "/opt/sybase");
    env.set("TVR_REGISTRY", (runtime / "registry.reg").string());
    const std::filesystem::path guard = runtime / "DumpLoadDBSync";

    ChildProcess first(programPath(), {});
    bool held = false;
    for (int i = 0; i < 6000 && !held; ++i) {
        held = holdsLock(first.pid(), guard);
        if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(held) << "the first instance never took the guard";

    ChildProcess second(programPath(), {});
    const std::optional<int> status = second.wait(std::chrono::seconds(120));
    ASSERT_TRUE(status) << "the second instance did not end";
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(second.line(std::chrono::milliseconds(100)), std::nullopt);  // said nothing

    // The first instance is untouched and still running.
    EXPECT_FALSE(first.wait(std::chrono::milliseconds(200)));
    EXPECT_TRUE(holdsLock(first.pid(), guard));
}
