// `tvr --check` as a monitoring system runs it: a process with no display, reading the
// thresholds from the registry file and the history beside the activity log; its exit code
// says OK, warning, critical, or that it cannot tell; `tvr --status` gives the same verdict on
// the profile's line.
#include "config/SettingsKeys.h"
#include "engine/PassHistory.h"
#include "platform/Registry.h"
#include "tests/e2e/ProgramProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <optional>

using namespace tvr::e2e;
using namespace std::chrono_literals;

namespace {

TEST(CheckCommand, ExitsWithTheLevelOfTheLagOrThreeWhenItCannotTell) {
    const struct {
        std::optional<std::chrono::seconds> lastGood;  // none: no history at all
        bool registryReadable;
        int exitCode;
        std::string start;
    } cases[] = {
        {60s, true, 0, "OK: lag "},      {20min, true, 1, "WARNING: lag "},
        {2h, true, 2, "CRITICAL: lag "}, {std::nullopt, true, 3, "UNKNOWN: no pass history in "},
        {60s, false, 3, "UNKNOWN: "},
    };
    tvr::testing::ScopedEnvironment env;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.unset(name);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        tvr::testing::TempFolder folder;
        const auto registryFile = folder / "registry.reg";
        env.set("TVR_REGISTRY", registryFile.string());
        tvr::platform::Registry registry(registryFile);
        const auto set = [&](std::string_view entry, const std::string& value) {
            registry.writeDefaultText(tvr::config::settingKeyPath(entry), value);
        };
        set("EditLogPath", folder.string());
        set("EditLagWarning", "15");
        set("EditLagCritical", "60");
        if (c.lastGood) {
            tvr::engine::TPassRecord record;
            record.start = std::chrono::system_clock::now() - *c.lastGood;
            record.file = "sales.tr";
            record.outcome = "ok";
            tvr::engine::appendPassRecord(folder.string(), record);
        }
        if (!c.registryReadable) std::ofstream(registryFile) << "this is no registry file\n";

        ProgramProcess tvr("tvr", {"--check"}, folder / "out", folder / "err");
        const auto status = tvr.wait(60s);
        const std::string output = tvr.output();
        ASSERT_TRUE(status && WIFEXITED(*status)) << output << tvr.errors();
        EXPECT_EQ(WEXITSTATUS(*status), c.exitCode) << output;
        EXPECT_EQ(output.substr(0, c.start.size()), c.start) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        EXPECT_EQ(tvr.errors(), "");
        if (c.exitCode == 3) continue;
        // Nagios performance data, and the last load with its date.
        EXPECT_NE(output.find(" | lag="), std::string::npos) << output;
        EXPECT_NE(output.find("last load 20"), std::string::npos) << output;

        // The profile's line of --status: not running, the same verdict, no dump waiting.
        ProgramProcess lines("tvr", {"--status"}, folder / "status", folder / "status-err");
        EXPECT_EQ(lines.exitCode(60s), 0) << lines.output() << lines.errors();
        // (The lag may have grown by a second between the two.)
        EXPECT_EQ(lines.output().rfind("default: not running, " + c.start, 0), 0u)
            << lines.output();
        EXPECT_TRUE(lines.output().ends_with(", pending loads 0\n")) << lines.output();
    }
}

}  // namespace
