// The registry file shared by real processes: simultaneous writers and writers that die.
#include "platform/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace tvr::platform;
using tvr::testing::ChildProcess;
using tvr::testing::fileText;
using tvr::testing::helperProgram;

namespace {

bool killedBySigkill(const std::optional<int>& status) {
    return status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL;
}

bool exitedCleanly(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace

TEST(RegistryProcesses, TwoWritersAtOnceLoseNoneOfEachOthersValues) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path file = dir / "registry.reg";
    const int count = 40;
    {
        ChildProcess a(helperProgram(),
                       {"write", file.string(), "Software\\Shared", "a", std::to_string(count)});
        ChildProcess b(helperProgram(),
                       {"write", file.string(), "software\\SHARED", "b", std::to_string(count)});
        ASSERT_TRUE(exitedCleanly(a.wait()));
        ASSERT_TRUE(exitedCleanly(b.wait()));
    }
    const Registry reg(file);
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < count; ++i) {
            const std::string name = prefix + std::to_string(i);
            std::string text;
            ASSERT_EQ(reg.readText("Software\\Shared", name, text), RegStatus::Ok) << name;
            EXPECT_EQ(text, "value " + name);
        }
    }
}

TEST(RegistryProcesses, AWriterKilledAtAnyStepLeavesAWholeFile) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path file = dir / "registry.reg";
    const struct {
        ReplaceStage stage;
        const char* expected;
    } cases[] = {
        {ReplaceStage::TempWritten, "old \"text\""},
        {ReplaceStage::TempSynced, "old \"text\""},
        {ReplaceStage::Renamed, "new \\ text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.stage));
        Registry reg(file);
        ASSERT_EQ(reg.writeText("Software\\K", "Other", "kept"), RegStatus::Ok);
        ASSERT_EQ(reg.writeText("Software\\K", "Value", "old \"text\""), RegStatus::Ok);
        const std::string before = fileText(file);
        ChildProcess writer(helperProgram(),
                            {"crash-at", std::to_string(static_cast<int>(c.stage)), file.string(),
                             "Software\\K", "Value", "new \\ text"});
        ASSERT_TRUE(killedBySigkill(writer.wait()));
        if (c.stage != ReplaceStage::Renamed) {
            EXPECT_EQ(fileText(file), before);
        }
        std::string text;
        ASSERT_EQ(reg.readText("Software\\K", "Value", text), RegStatus::Ok);
        EXPECT_EQ(text, c.expected);
        ASSERT_EQ(reg.readText("Software\\K", "Other", text), RegStatus::Ok);
        EXPECT_EQ(text, "kept");
        // The lock died with the writer: the next write goes through at once, and removes the
        // temporary file the writer may have left.
        ASSERT_EQ(reg.writeText("Software\\K", "Value", "old \"text\""), RegStatus::Ok);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string().rfind(".registry.reg.", 0), 0u)
                << "temporary file left: " << entry.path();
    }
}

TEST(RegistryProcesses, AWriterKilledAtRandomMomentsNeverTearsTheFile) {
    tvr::testing::TempFolder dir;
    const std::filesystem::path file = dir / "registry.reg";
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMs(20, 200);
    const Registry reg(file);
    int roundsWithWrites = 0;
    for (int round = 0; round < 15; ++round) {
        const std::string prefix = "r" + std::to_string(round) + "_";
        ChildProcess writer(helperProgram(),
                            {"write", file.string(), "Software\\Many", prefix, "1000"});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        writer.kill();
        ASSERT_TRUE(writer.wait());
        // The file parses, and the values of the round are an unbroken run 0..k-1.
        int present = 0;
        std::string text;
        while (reg.readText("Software\\Many", prefix + std::to_string(present), text) ==
               RegStatus::Ok)
            ++present;
        EXPECT_NE(reg.readText("Software\\Many", prefix + std::to_string(present + 1), text),
                  RegStatus::Ok);
        if (present > 0) ++roundsWithWrites;
    }
    // Most kills land in the middle of the writing, not before it began.
    EXPECT_GT(roundsWithWrites, 0);
}
