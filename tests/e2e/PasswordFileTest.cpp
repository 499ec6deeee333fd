// The unattended start with its passwords in a file instead of on the command line: a file
// only its owner can read starts the shipping, one other users can read ends the program with
// the reason before it logs on.
#include "tests/e2e/Workstation.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tvr::e2e;
namespace fs = std::filesystem;

namespace {

fs::path passwordFile(const WorkstationFolders& workstation, fs::perms mode) {
    const fs::path file = workstation.root() / "passwords";
    std::ofstream(file) << "P1:" << kMainPassword << "\nP2:" << kReservePassword << "\n";
    fs::permissions(file, mode);
    return file;
}

}  // namespace

TEST(PasswordFile, OneItsOwnerAloneCanReadStartsTheShipping) {
    Workstation workstation;
    const fs::path file = passwordFile(workstation, fs::perms::owner_read | fs::perms::owner_write);
    ProgramProcess tvr("tvr", {"--password-file", file.string(), "-A"},
                       workstation.root() / "tvr.out");
    ASSERT_TRUE(eventually([&] { return workstation.passCompletedAfter(0); }))
        << tvr.output() << workstation.activityLog();
    tvr.end();
}

TEST(PasswordFile, OneOtherUsersCanReadIsRefusedWithExitCodeOne) {
    WorkstationFolders workstation;
    for (const fs::perms others : {fs::perms::group_read, fs::perms::others_read}) {
        const fs::path file = passwordFile(workstation, fs::perms::owner_read | others);
        ProgramProcess tvr("tvr", {"--password-file", file.string(), "-A"},
                           workstation.root() / "tvr.out");
        EXPECT_EQ(tvr.exitCode(), 1) << tvr.output();
        EXPECT_NE(tvr.output().find("open to other users"), std::string::npos) << tvr.output();
    }
}
