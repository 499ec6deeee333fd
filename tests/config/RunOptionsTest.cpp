// "--service", "--profile NAME" and "--reseed" are taken out of the command line before the logon reads
// the rest, in any place among the other parameters.
#include "config/RunOptions.h"

#include <gtest/gtest.h>

using namespace tvr::config;

TEST(RunOptions, AreTakenOutWhereverTheyStandAndTheRestKeepsItsOrder) {
    using Strings = std::vector<std::string>;
    const struct {
        Strings given;
        bool service;
        std::optional<std::string> profile;
        Strings rest;
        bool reseed = false;
    } cases[] = {
        {{"P1:a", "-A"}, false, std::nullopt, {"P1:a", "-A"}},
        {{"--service", "--password-file", "f"}, true, std::nullopt, {"--password-file", "f"}},
        {{"P1:a", "--profile", "east", "-A"}, false, "east", {"P1:a", "-A"}},
        {{"--profile=east", "--service"}, true, "east", {}},
        {{"--profile", "east", "--profile", "west"}, false, "west", {}},
        // The name is whatever follows; its checking is the profile's.
        {{"--profile", "--service"}, false, "--service", {}},
        {{"P1:a", "P2:b", "--reseed", "-A"}, false, std::nullopt, {"P1:a", "P2:b", "-A"}, true},
        {{"--service", "--reseed", "--profile", "east"}, true, "east", {}, true},
    };
    for (const auto& c : cases) {
        Strings parameters = c.given;
        const RunOptions options = takeRunOptions(parameters);
        EXPECT_EQ(options.service, c.service) << ::testing::PrintToString(c.given);
        EXPECT_EQ(options.profile, c.profile) << ::testing::PrintToString(c.given);
        EXPECT_EQ(options.reseed, c.reseed) << ::testing::PrintToString(c.given);
        EXPECT_EQ(parameters, c.rest) << ::testing::PrintToString(c.given);
    }
    Strings noName{"-A", "--profile"};
    EXPECT_THROW(takeRunOptions(noName), RunOptionError);
}
