// A save that fails half-way because the registry file cannot grow any more.
#include "config/SettingsKeys.h"
#include "config/SettingsStore.h"
#include "tests/support/SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

using namespace tvr::config;
using tvr::platform::Registry;
using tvr::platform::RegStatus;

namespace {

// Lets this process write files no larger than `bytes` until the object goes away. The
// limit holds for root too, which a read-only file would not.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

std::string stored(const Registry& reg, std::string_view entry) {
    std::string text;
    reg.readDefaultText(settingKeyPath(entry), text);
    return text;
}

}  // namespace

TEST(SettingsSaveFailure, IsReportedAndLosesNothingAlreadyStored) {
    tvr::test::TempFolder dir;
    const std::filesystem::path file = dir / "registry.reg";
    Registry registry(file);

    TDumpLoadSettings before;
    before.EditPathDump = (dir / "d").string();
    before.EditPathLoad = (dir / "l").string();
    SaveSettings(registry, LiveSettings(before));
    const std::uintmax_t size = std::filesystem::file_size(file);

    // Every text grows by 30 bytes, so the file outgrows the limit a few writes in.
    TDumpLoadSettings after = before;
    after.IsReserv = false;
    after.ReservServerName = std::string(30, 'r');
    for (std::string* t : {&after.EditInterval, &after.ComboDump, &after.ComboLoad,
                           &after.EditLogPath, &after.EditErrorLogPath})
        *t += std::string(30, 'z');
    after.EditPathDump += std::string(30, 'z');
    after.EditPathLoad += std::string(30, 'z');
    const LiveSettings live(after);
    {
        const FileSizeLimit limit(size + 75);
        EXPECT_THROW(SaveSettings(registry, live), tvr::platform::RegistryError);
    }
    EXPECT_EQ(live.snapshot(), after);  // the live copy keeps the edits

    // The file is whole: the writes before the failure hold the new values, the failed
    // one and all after it the old ones.
    const Registry reader(file);
    std::string text;
    ASSERT_EQ(reader.readText(reserveKeyPath(), "ServerName", text), RegStatus::Ok);
    EXPECT_EQ(text, after.ReservServerName);
    EXPECT_EQ(stored(reader, "IsReserv"), "0");
    EXPECT_EQ(stored(reader, "EditInterval"), after.EditInterval);
    EXPECT_EQ(stored(reader, "ComboDump"), before.ComboDump);
    EXPECT_EQ(stored(reader, "EditErrorLogPath"), before.EditErrorLogPath);
    EXPECT_FALSE(std::filesystem::exists(after.EditPathDump));  // stopped before the folders
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".registry.reg."), std::string::npos)
            << "temporary file left: " << entry.path();

    // With room again, the same save stores everything.
    SaveSettings(registry, live);
    EXPECT_EQ(stored(reader, "EditErrorLogPath"), after.EditErrorLogPath);
}
