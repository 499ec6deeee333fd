#include "platform/ComputerName.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tvr::platform;

TEST(ComputerName, IsTrimmedAndMustFitTheThirtyCharacterBuffer) {
    EXPECT_EQ(computerNameFrom("  WORKSTATION7 \t"), "WORKSTATION7");
    const std::string longest(29, 'h');
    EXPECT_EQ(computerNameFrom(longest), longest);
    // With its NUL a thirty-character name does not fit: the name cannot be fetched.
    EXPECT_EQ(computerNameFrom(std::string(30, 'h')), "");
    EXPECT_EQ(computerNameFrom(""), "");
}

TEST(ComputerName, ComesFromTheHostName) {
    char buf[256] = {};
    ASSERT_EQ(::gethostname(buf, sizeof buf - 1), 0);
    EXPECT_EQ(computerName(), computerNameFrom(buf));
}
