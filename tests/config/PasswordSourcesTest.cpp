// Passwords from a file only its owner can read, or from the environment, become the "P1:"
// and "P2:" parameters of the start; a file open to other users or in the wrong form is
// refused with its reason.
#include "config/PasswordSources.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace tvr::config;
namespace fs = std::filesystem;

namespace {

constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

fs::path passwordFile(const tvr::testing::TempFolder& folder, const std::string& text,
                      fs::perms mode = kOwnerOnly) {
    const fs::path file = folder / "passwords";
    std::ofstream(file, std::ios::binary) << text;
    fs::permissions(file, mode);
    return file;
}

std::string refusal(const fs::path& file) {
    try {
        readPasswordFile(file);
    } catch (const PasswordSourceError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(PasswordSources, AFileItsOwnerAloneMayReadGivesItsLinesWithoutLineEnds) {
    const tvr::testing::TempFolder folder("tvr-passwords");
    EXPECT_EQ(readPasswordFile(passwordFile(folder, "P2:reserve\r\n\r\nP1:main: colon\r\n")),
              (std::vector<std::string>{"P2:reserve", "P1:main: colon"}));
    EXPECT_EQ(readPasswordFile(passwordFile(folder, "P1:main", fs::perms::owner_read)),
              (std::vector<std::string>{"P1:main"}));
}

TEST(PasswordSources, AFileOpenToOthersOrInTheWrongFormIsRefusedWithItsReason) {
    const tvr::testing::TempFolder folder("tvr-passwords");
    const struct {
        const char* text;
        fs::perms mode;
        const char* reason;
    } cases[] = {
        {"P1:main\n", kOwnerOnly | fs::perms::group_read, "open to other users (mode 0640)"},
        {"P1:main\n", kOwnerOnly | fs::perms::others_read, "open to other users (mode 0604)"},
        {"P1:main\n", kOwnerOnly | fs::perms::group_write, "open to other users (mode 0620)"},
        {"P1:main\nmain\n", kOwnerOnly, "line 2 of the password file"},
        {"\n\n", kOwnerOnly, "holds no password"},
    };
    for (const auto& c : cases) {
        const std::string why = refusal(passwordFile(folder, c.text, c.mode));
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.text << ": " << why;
    }
    EXPECT_NE(refusal(folder / "none").find("cannot be read"), std::string::npos);
}

TEST(PasswordSources, FileAndEnvironmentGoBeforeTheCommandLineAndTheVariablesAreNotPassedOn) {
    const tvr::testing::TempFolder folder("tvr-passwords");
    tvr::testing::ScopedEnvironment env;
    env.set(kMainPasswordVariable, "from-environment");
    env.unset(kReservePasswordVariable);
    const fs::path file = passwordFile(folder, "P2:from-file\n");

    EXPECT_EQ(withPasswordSources({kPasswordFileOption, file.string(), "P1:typed", "-A"}),
              (std::vector<std::string>{"P1:from-environment", "P2:from-file", "P1:typed", "-A"}));
    EXPECT_EQ(std::getenv(kMainPasswordVariable), nullptr);
    EXPECT_EQ(withPasswordSources({"-A"}), (std::vector<std::string>{"-A"}));
    EXPECT_THROW(withPasswordSources({kPasswordFileOption}), PasswordSourceError);
}
