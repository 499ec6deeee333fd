#include "config/CommandLine.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using tvr::config::kAutomaticLogon;
using tvr::config::kNoMainPassword;
using tvr::config::parseCommandLine;
using Params = std::vector<std::string>;

namespace {

TEST(CommandLine, ResultFollowsTheCountOfParametersAndTheMainPassword) {
    struct Case {
        Params params;
        int result;
        std::optional<std::string> main, reserve;
        bool autoStart;
    };
    const Case cases[] = {
        {{"P1:secret"}, kAutomaticLogon, "secret", std::nullopt, false},
        {{"p1:low", "p2:case", "-a"}, kAutomaticLogon, "low", "case", true},
        {{"P1:"}, kAutomaticLogon, "", std::nullopt, false},   // an empty password
        {{"P1:a", "P2:b", "-A", "extra"}, 0, "a", "b", true},  // four: the dialog is shown
        {{"P2:only", "-A"}, kNoMainPassword, std::nullopt, "only", true},
        {{"-A"}, kNoMainPassword, std::nullopt, std::nullopt, true},
        {{"P1"}, kNoMainPassword, std::nullopt, std::nullopt, false},
        {{"P1:first", "P1:second"}, kAutomaticLogon, "second", std::nullopt, false},
        {{"P1:x:y=z"}, kAutomaticLogon, "x:y=z", std::nullopt, false},
        {{"-AB", "/A", "A"}, kNoMainPassword, std::nullopt, std::nullopt, false},
        {{}, kNoMainPassword, std::nullopt, std::nullopt, false},
        {{"p1:A", "P2:"}, kAutomaticLogon, "A", "", false},
    };
    for (const Case& c : cases) {
        const auto v = parseCommandLine(c.params);
        const std::string what = ::testing::PrintToString(c.params);
        EXPECT_EQ(v.result, c.result) << what;
        EXPECT_EQ(v.mainPassword, c.main) << what;
        EXPECT_EQ(v.reservePassword, c.reserve) << what;
        EXPECT_EQ(v.autoStart, c.autoStart) << what;
    }
}

TEST(CommandLine, TheConnectionsKeepWhatTheParametersDoNotGive) {
    tvr::engine::TConnections connections;
    connections.ReservePassword = "earlier";
    EXPECT_EQ(tvr::config::storeCommandLine({"P1:m", "x", "y", "z"}, connections), 0);
    EXPECT_EQ(connections.MainPassword, "m");
    EXPECT_EQ(connections.ReservePassword, "earlier");
    EXPECT_FALSE(connections.AutoStart);
}

// The helper takes its own command line and prints what it took, then what the process
// list shows for it.
TEST(CommandLine, PasswordsAreGoneFromTheProcessListOnceTaken) {
    tvr::testing::ChildProcess helper(tvr::testing::binDir() + "/config_command_line_helper",
                                      {"P1:MainSecret", "p2:Res", "-A", "P1:"});
    EXPECT_EQ(helper.line(), "taken P1:MainSecret|p2:Res|-A|P1:|");
    const auto shown = helper.line();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->ends_with("|P1:**********|p2:***|-A|P1:|")) << *shown;
    EXPECT_EQ(shown->find("Secret"), std::string::npos);
    // What another process reads while the program runs.
    std::ifstream in("/proc/" + std::to_string(helper.pid()) + "/cmdline", std::ios::binary);
    const std::string outside((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(outside.find("MainSecret"), std::string::npos);
    EXPECT_NE(outside.find("P1:*"), std::string::npos);
}

}  // namespace
