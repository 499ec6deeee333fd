// The alert command as a real child process: started at each change of level only, with the
// level and the lag in its environment, and a command that cannot start or that fails is one
// error entry.
#include "engine/AlertCommand.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace tvr::engine;
using namespace std::chrono_literals;

namespace {

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AlertCommand, SplitsItsWordsAtBlanksOutsideQuotes) {
    EXPECT_EQ(commandWords("  /usr/bin/notify  --to \"dba team\" x\"y z\"  "),
              (std::vector<std::string>{"/usr/bin/notify", "--to", "dba team", "xy z"}));
    EXPECT_EQ(commandWords(" \"\" "), (std::vector<std::string>{""}));
    EXPECT_TRUE(commandWords("  ").empty());
}

TEST(AlertCommand, RunsAtEachChangeOfLevelWithTheLevelAndTheLagInItsEnvironment) {
    tvr::testing::TempFolder folder;
    const std::string out = (folder / "alerts").string();
    const std::string command =
        "/bin/sh -c \"echo $TVR_ALERT_LEVEL $TVR_LAG_SECONDS $TVR_PROFILE. >> " + out + "\"";
    std::vector<std::string> entries;
    TAlertCommand alert([&](const std::string& text) { entries.push_back(text); });
    alert.LevelNow(AlertLevel::None, 1s, command, "");
    alert.LevelNow(AlertLevel::Warning, 900s, command, "");
    // Waited for, so that the next change's line cannot come first.
    ASSERT_TRUE([&] {
        for (int i = 0; i < 600 && fileText(out).empty(); ++i) std::this_thread::sleep_for(50ms);
        return !fileText(out).empty();
    }());
    alert.LevelNow(AlertLevel::Warning, 901s, command, "");
    alert.LevelNow(AlertLevel::None, 10s, command, "eu");
    for (int i = 0; i < 600 && fileText(out).size() < 20; ++i) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fileText(out), "warning 900 .\nok 10 eu.\n");
    EXPECT_TRUE(entries.empty());
}

TEST(AlertCommand, ACommandThatCannotStartOrFailsIsOneErrorEntry) {
    const struct {
        std::string command;
        std::string entry;
    } cases[] = {
        {"/nonexistent/notify", "The alert command \"/nonexistent/notify\" cannot be started: "},
        {"/bin/sh -c \"exit 3\"",
         "The alert command \"/bin/sh -c \"exit 3\"\" ended with exit code 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::vector<std::string> entries;
        TAlertCommand alert([&](const std::string& text) { entries.push_back(text); });
        alert.LevelNow(AlertLevel::Critical, 4000s, c.command, "");
        // Reaped at a later tick, never waited for.
        for (int i = 0; i < 600 && entries.empty(); ++i) {
            std::this_thread::sleep_for(50ms);
            alert.LevelNow(AlertLevel::Critical, 4001s, c.command, "");
        }
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].substr(0, c.entry.size()), c.entry);
    }
}

}  // namespace
