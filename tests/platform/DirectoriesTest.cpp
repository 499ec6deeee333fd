#include "platform/Directories.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

using namespace tvr::platform;

TEST(Directories, AreCreatedWithEveryMissingParent) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path deep = dir / "a b" / "über" / "c";
    EXPECT_TRUE(forceDirectories(deep.string() + "/"));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(forceDirectories(deep.string()));  // already there

    { std::ofstream(dir / "plain") << "x"; }
    EXPECT_FALSE(forceDirectories((dir / "plain" / "sub").string()));
    EXPECT_FALSE(forceDirectories(""));
}

TEST(Directories, APathOfFewerThanThreeCharactersIsTakenAsItIs) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const bool twoLetters = forceDirectories("ab");
    const bool withSeparator = forceDirectories("c//");
    const bool root = forceDirectories("/");
    const bool three = forceDirectories("abc");
    std::filesystem::current_path(before);

    EXPECT_TRUE(twoLetters);
    EXPECT_TRUE(withSeparator);
    EXPECT_TRUE(root);
    EXPECT_TRUE(three);
    EXPECT_FALSE(std::filesystem::exists(dir / "ab"));
    EXPECT_FALSE(std::filesystem::exists(dir / "c"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "abc"));
}
