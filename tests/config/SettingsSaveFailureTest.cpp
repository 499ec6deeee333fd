// Saves that meet a registry file they cannot replace: a full disk, a read-only file, a
// writer killed half-way. All settings are stored or none, the folders are still made, and
// the failure names what was not stored.
#include "config/SettingsKeys.h"
#include "config/SettingsStore.h"
#include "platform/AtomicFile.h"
#include "tests/support/ForkedChild.h"
#include "tests/support/SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

using namespace tvr::config;
using tvr::platform::Registry;
using tvr::platform::RegistryError;
using tvr::platform::RegStatus;
using tvr::testing::RecordingHost;

namespace {

// Lets this process write files no larger than `bytes` until the object goes away. The
// limit holds for root too.
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

class SettingsSaveFailure : public ::testing::Test {
protected:
    void SetUp() override {
        before.EditPathDump = (dir / "d").string();
        before.EditPathLoad = (dir / "l").string();
        SaveSettings(registry, LiveSettings(before));
        // Every value changes and grows, so any of them stored would show.
        after = before;
        after.IsReserv = false;
        after.ReservServerName = std::string(30, 'r');
        for (std::string* t :
             {&after.EditInterval, &after.ComboDump, &after.ComboLoad, &after.EditLogPath,
              &after.EditErrorLogPath, &after.EditPathDump, &after.EditPathLoad})
            *t += std::string(30, 'z');
    }

    // The settings as the file holds them, read the way the next start reads them.
    TDumpLoadSettings storedSettings() const {
        Registry reader(file);
        LiveSettings stored;
        RecordingHost host(stored);
        LoadSettings(reader, stored, host);
        return stored.snapshot();
    }

    // A failed save names every value it did not store and leaves no temporary file.
    void expectAllNamedAndNoLeftovers(const std::string& what) const {
        EXPECT_NE(what.find("ServerName"), std::string::npos) << what;
        for (std::string_view entry : kSettingEntries)
            EXPECT_NE(what.find(entry), std::string::npos) << what;
        EXPECT_EQ(leftovers(), 0) << what;
    }

    int leftovers() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().rfind(".registry.reg.", 0) == 0) ++count;
        return count;
    }

    tvr::testing::TempFolder dir;
    std::filesystem::path file = dir / "registry.reg";
    Registry registry{file};
    TDumpLoadSettings before;
    TDumpLoadSettings after;
};

}  // namespace

TEST_F(SettingsSaveFailure, AFullDiskStoresNothingStillMakesTheFoldersAndNamesEveryValue) {
    const LiveSettings live(after);
    try {
        const FileSizeLimit limit(std::filesystem::file_size(file) + 75);
        SaveSettings(registry, live);
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        expectAllNamedAndNoLeftovers(e.what());
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(live.snapshot(), after);  // the live copy keeps the edits
    EXPECT_TRUE(std::filesystem::is_directory(after.EditPathDump));
    EXPECT_TRUE(std::filesystem::is_directory(after.EditPathLoad));
    EXPECT_EQ(storedSettings(), before);

    // With room again, the same save stores everything.
    SaveSettings(registry, live);
    EXPECT_EQ(storedSettings(), after);
}

TEST_F(SettingsSaveFailure, AReadOnlyRegistryFileIsLeftAsItIsAndTheFoldersAreStillMade) {
    namespace fs = std::filesystem;
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string old = tvr::testing::fileText(file);
    // Loading needs no write, so a user who may not even lock the file still loads it.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_exec);
    const auto loaded = tvr::testing::runInChild(
        [&] {
            LiveSettings stored;
            RecordingHost host(stored);
            LoadSettings(registry, stored, host);
            return stored.snapshot() == before ? 0 : 1;
        },
        tvr::testing::ChildPrivileges::Drop);
    EXPECT_TRUE(tvr::testing::exitedWith(loaded, 0)) << (loaded ? *loaded : -1);

    // Root writes any file, so the save runs as an unprivileged user that owns the folder.
    tvr::testing::giveToUnprivilegedUser(dir.path());
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    const auto status = tvr::testing::runInChild(
        [&] {
            try {
                SaveSettings(registry, LiveSettings(after));
                return 1;
            } catch (const RegistryError& e) {
                const std::string what = e.what();
                if (what.find("EditErrorLogPath") == std::string::npos) return 2;
                if (what.find("read-only") == std::string::npos) return 3;
            }
            if (!std::filesystem::is_directory(after.EditPathDump)) return 4;
            if (!std::filesystem::is_directory(after.EditPathLoad)) return 5;
            return 0;
        },
        tvr::testing::ChildPrivileges::Drop);
    EXPECT_TRUE(tvr::testing::exitedWith(status, 0)) << (status ? *status : -1);
    EXPECT_EQ(tvr::testing::fileText(file), old);
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(SettingsSaveFailure, AWriterKilledHalfWayLeavesTheOldSettingsAndTheNextSaveCleansUp) {
    for (const auto stage :
         {tvr::platform::ReplaceStage::TempWritten, tvr::platform::ReplaceStage::TempSynced}) {
        SCOPED_TRACE(static_cast<int>(stage));
        const std::string old = tvr::testing::fileText(file);
        const auto status = tvr::testing::runInChild([&] {
            registry.setReplaceStageHook([stage](tvr::platform::ReplaceStage s) {
                if (s == stage) ::raise(SIGKILL);
            });
            SaveSettings(registry, LiveSettings(after));
            return 0;
        });
        ASSERT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
        EXPECT_EQ(tvr::testing::fileText(file), old);  // every setting as it was
        EXPECT_EQ(leftovers(), 1);                     // the killed writer's temporary file
        SaveSettings(registry, LiveSettings(before));
        EXPECT_EQ(leftovers(), 0);  // removed by the next writer
    }
}
