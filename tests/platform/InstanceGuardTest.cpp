#include "platform/InstanceGuard.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace tvr::platform;
using tvr::testing::ChildProcess;
using tvr::testing::helperProgram;

TEST(InstanceGuard, ASecondProcessIsRefusedUntilTheHolderIsKilled) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path lock = dir / "DumpLoadDBSync";
    {
        ChildProcess first(helperProgram(), {"hold-guard", lock.string()});
        ASSERT_EQ(first.line(), "held");

        ChildProcess second(helperProgram(), {"hold-guard", lock.string()});
        EXPECT_EQ(second.line(), "refused");
        const InstanceGuard here(lock);
        EXPECT_EQ(here.state(), InstanceGuard::State::HeldElsewhere);

        first.kill(SIGKILL);
        ASSERT_TRUE(first.wait());
    }
    // No stale guard survives the holder's death.
    const InstanceGuard after(lock);
    EXPECT_TRUE(after.held());
}

TEST(InstanceGuard, IsReleasedWhenItsOwnerEnds) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path lock = dir / "DumpLoadDBSync";
    {
        const InstanceGuard first(lock);
        ASSERT_TRUE(first.held());
        const InstanceGuard second(lock);  // another open of the file conflicts, as a process would
        EXPECT_EQ(second.state(), InstanceGuard::State::HeldElsewhere);
    }
    EXPECT_TRUE(InstanceGuard(lock).held());
}

TEST(InstanceGuard, ALockFileThatCannotBeOpenedIsAFailureNotAnotherInstance) {
    tvr::testing::TempFolder dir;
    std::filesystem::create_symlink(dir / "elsewhere", dir / "DumpLoadDBSync");
    const InstanceGuard guard(dir / "DumpLoadDBSync");
    EXPECT_EQ(guard.state(), InstanceGuard::State::Failed);
    EXPECT_NE(guard.error().find("DumpLoadDBSync"), std::string::npos);
}

TEST(InstanceGuard, LivesBesideTheRegistryFileElseInTheRuntimeFolderElseInTmpPerUser) {
    tvr::testing::ScopedEnvironment env;
    env.set("XDG_RUNTIME_DIR", "/run/user/1000");
    env.set("TVR_REGISTRY", "/srv/pair/registry.reg");
    EXPECT_EQ(InstanceGuard::defaultLockFile(), "/srv/pair/registry.reg.instance");
    env.unset("TVR_REGISTRY");
    env.set("XDG_CONFIG_HOME", "/home/u/.config");
    EXPECT_EQ(InstanceGuard::defaultLockFile(), "/home/u/.config/travenor/registry.reg.instance");
    env.unset("XDG_CONFIG_HOME");
    env.unset("HOME");
    EXPECT_EQ(InstanceGuard::defaultLockFile(), "/run/user/1000/DumpLoadDBSync");
    env.unset("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceGuard::defaultLockFile(),
              "/tmp/DumpLoadDBSync-" + std::to_string(::getuid()));
}

TEST(InstanceGuard, ASecondStartFromAnotherLoginSessionFindsTheSameSettingsGuarded) {
    tvr::testing::TempFolder dir;
    tvr::testing::ScopedEnvironment env;
    env.set("TVR_REGISTRY", (dir / "not-yet" / "registry.reg").string());
    env.set("XDG_RUNTIME_DIR", (dir / "session-1").string());
    const InstanceGuard first;
    ASSERT_TRUE(first.held()) << first.error();
    env.set("XDG_RUNTIME_DIR", (dir / "session-2").string());
    EXPECT_EQ(InstanceGuard().state(), InstanceGuard::State::HeldElsewhere);
}
