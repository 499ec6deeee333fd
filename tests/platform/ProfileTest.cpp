// A profile keeps its own registry file and instance guard in a folder of its own; the default
// profile keeps today's file; a name that could leave its folder is refused.
#include "platform/InstanceGuard.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace tvr::platform;

namespace {

// Every test leaves the process on the default profile, as it found it.
struct DefaultProfileAfterwards {
    ~DefaultProfileAfterwards() { setProfile(kDefaultProfileName); }
};

}  // namespace

TEST(Profile, NamesOfLettersDigitsDashAndUnderscoreAreTakenAndNothingElse) {
    const DefaultProfileAfterwards restore;
    const struct {
        std::string name;
        bool valid;
    } cases[] = {
        {"east", true},
        {"Pair-2_b", true},
        {std::string(kProfileNameLimit, 'a'), true},
        {std::string(kProfileNameLimit + 1, 'a'), false},
        {"", false},
        {"../east", false},
        {"a/b", false},
        {"a b", false},
        {"a.b", false},
        {"east;rm", false},
        {"\xc3\xa9st", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validProfileName(c.name), c.valid) << c.name;
        setProfile("before");
        if (c.valid) {
            setProfile(c.name);
            EXPECT_EQ(profileName(), c.name);
        } else {
            EXPECT_THROW(setProfile(c.name), ProfileError) << c.name;
            EXPECT_EQ(profileName(), "before") << c.name;
        }
    }
}

TEST(Profile, AProfileHasItsOwnRegistryFileAndGuardWhileTheDefaultKeepsTodaysFile) {
    const DefaultProfileAfterwards restore;
    const tvr::testing::TempFolder folder("tvr-profile");
    tvr::testing::ScopedEnvironment env;
    env.set("TVR_REGISTRY", (folder / "registry.reg").string());

    EXPECT_EQ(Registry::defaultFile(), folder / "registry.reg");
    EXPECT_EQ(profileQualified("sales"), "sales");
    const InstanceGuard defaultGuard(InstanceGuard::defaultLockFile());
    ASSERT_TRUE(defaultGuard.held());

    setProfile("east");
    EXPECT_EQ(Registry::defaultFile(), folder / "profiles" / "east" / "registry.reg");
    EXPECT_EQ(profileFolder(), folder / "profiles" / "east");
    EXPECT_EQ(profileQualified("sales"), "east_sales");
    // Each profile runs beside the other: its guard is its own.
    const InstanceGuard eastGuard(InstanceGuard::defaultLockFile());
    EXPECT_TRUE(eastGuard.held());
    EXPECT_EQ(InstanceGuard(InstanceGuard::defaultLockFile()).state(),
              InstanceGuard::State::HeldElsewhere);

    setProfile(kDefaultProfileName);
    EXPECT_EQ(profileName(), "");
    EXPECT_EQ(Registry::defaultFile(), folder / "registry.reg");
}
