#include "platform/Environment.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tvr::platform;

TEST(Environment, ExpandsKnownReferencesAndKeepsUnknownOnes) {
    ::setenv("TVR_T_A", "alpha", 1);
    ::unsetenv("TVR_T_MISSING");
    EXPECT_EQ(expandEnvironmentReferences("%TVR_T_A%\\dmp"), "alpha\\dmp");
    EXPECT_EQ(expandEnvironmentReferences("x%TVR_T_MISSING%y"), "x%TVR_T_MISSING%y");
    // The closing % of an unknown name can open the next reference.
    EXPECT_EQ(expandEnvironmentReferences("%TVR_T_MISSING%TVR_T_A%"), "%TVR_T_MISSINGalpha");
    EXPECT_EQ(expandEnvironmentReferences("100% sure"), "100% sure");
    EXPECT_EQ(expandEnvironmentReferences("%%"), "%%");
}

TEST(Environment, SybaseInstalledNeedsANonEmptyValueOfAnyLength) {
    ::unsetenv("SYBASE");
    EXPECT_FALSE(sybaseInstalled());
    ::setenv("SYBASE", "", 1);
    EXPECT_FALSE(sybaseInstalled());
    ::setenv("SYBASE", std::string(300, 'x').c_str(), 1);
    EXPECT_TRUE(sybaseInstalled());
    ::setenv("SYBASE", "%HOME%/sybase", 1);
    EXPECT_EQ(sybaseValue(), "%HOME%/sybase");
}
