#include "platform/Environment.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tvr::platform;

TEST(Environment, ExpandsKnownReferencesAndKeepsUnknownOnes) {
    tvr::testing::ScopedEnvironment env;
    env.set("TVR_T_A", "alpha");
    env.unset("TVR_T_MISSING");
    EXPECT_EQ(expandEnvironmentReferences("%TVR_T_A%\\dmp"), "alpha\\dmp");
    EXPECT_EQ(expandEnvironmentReferences("x%TVR_T_MISSING%y"), "x%TVR_T_MISSING%y");
    // The closing % of an unknown name can open the next reference.
    EXPECT_EQ(expandEnvironmentReferences("%TVR_T_MISSING%TVR_T_A%"), "%TVR_T_MISSINGalpha");
    EXPECT_EQ(expandEnvironmentReferences("100% sure"), "100% sure");
    EXPECT_EQ(expandEnvironmentReferences("%%"), "%%");
}

TEST(Environment, SybaseInstalledNeedsANonEmptyValueOfAnyLength) {
    tvr::testing::ScopedEnvironment env;
    env.unset("SYBASE");
    EXPECT_FALSE(sybaseInstalled());
    env.set("SYBASE", "");
    EXPECT_FALSE(sybaseInstalled());
    env.set("SYBASE", std::string(300, 'x'));
    EXPECT_TRUE(sybaseInstalled());
    env.set("SYBASE", "%HOME%/sybase");
    EXPECT_EQ(sybaseValue(), "%HOME%/sybase");
}
