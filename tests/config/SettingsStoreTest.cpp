#include "config/SettingsError.h"
#include "config/SettingsKeys.h"
#include "config/SettingsStore.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

using namespace tvr::config;
using tvr::platform::Registry;
using tvr::platform::RegistryValue;
using tvr::platform::RegStatus;
using tvr::testing::RecordingHost;

namespace {

const std::string kBase = "Software\\Kelvane\\DorniqSybase";
const std::string kReserv = kBase + "\\Reserv";

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("TVR_T_VENDOR", "sap");
        env.set("SYBASE", "/opt/%TVR_T_VENDOR%/sybase");
    }

    std::string defaultText(const std::string& entry) const {
        std::string text;
        EXPECT_EQ(registry.readDefaultText(kReserv + "\\" + entry, text), RegStatus::Ok) << entry;
        return text;
    }
    void store(const std::string& entry, const std::string& text) {
        ASSERT_EQ(registry.writeDefaultText(kReserv + "\\" + entry, text), RegStatus::Ok);
    }

    tvr::testing::ScopedEnvironment env;
    tvr::testing::TempFolder dir;
    Registry registry{dir / "registry.reg"};
    LiveSettings live;
    RecordingHost host{live};
};

}  // namespace

TEST_F(SettingsStoreTest, AFirstStartGetsTheDefaultsAndCreatesOnlyTheTwoServerKeys) {
    LoadSettings(registry, live, host);

    const TDumpLoadSettings s = live.snapshot();
    EXPECT_EQ(s.MainServerName, "");
    EXPECT_EQ(s.ReservServerName, "");
    EXPECT_TRUE(s.IsReserv);
    EXPECT_TRUE(s.IsDumLoadBD);
    EXPECT_FALSE(s.IsClearLog);
    EXPECT_FALSE(s.IsInterval);
    EXPECT_EQ(s.EditInterval, "00:00");
    EXPECT_EQ(s.ComboDump, "");
    EXPECT_EQ(s.ComboLoad, "");
    // Dump and load folders from SYBASE expanded, the log folders from SYBASE as stored,
    // and the error log beside the dumps.
    EXPECT_EQ(s.EditPathDump, "/opt/sap/sybase/dmp/data");
    EXPECT_EQ(s.EditPathLoad, "/opt/sap/sybase/dmp/data");
    EXPECT_EQ(s.EditLogPath, "/opt/%TVR_T_VENDOR%/sybase/dmp/log");
    EXPECT_EQ(s.EditErrorLogPath, "/opt/%TVR_T_VENDOR%/sybase/dmp/data");

    EXPECT_TRUE(registry.keyExists(kBase));
    EXPECT_TRUE(registry.keyExists(kReserv));
    for (std::string_view entry : kSettingEntries)
        EXPECT_FALSE(registry.keyExists(kReserv + "\\" + std::string(entry))) << entry;

    EXPECT_EQ(host.calls, (std::vector<std::string>{"setUseReserve true", "showIntervalField false",
                                                    "ApplySettings", "setFolderPickerStarts"}));
    EXPECT_EQ(host.applied, s);
    EXPECT_EQ(host.pickers, (FolderPickerStarts{s.EditLogPath, s.EditErrorLogPath, s.EditPathDump,
                                                s.EditPathLoad}));
}

TEST_F(SettingsStoreTest, WithoutSybaseTheFoldersAreTheBareSuffixes) {
    env.unset("SYBASE");
    LoadSettings(registry, live, host);
    const TDumpLoadSettings s = live.snapshot();
    EXPECT_EQ(s.EditPathDump, "/dmp/data");
    EXPECT_EQ(s.EditLogPath, "/dmp/log");
    EXPECT_EQ(s.EditErrorLogPath, "/dmp/data");
}

TEST_F(SettingsStoreTest, SettingsWrittenByOneRunAreReadExactlyByTheNext) {
    ASSERT_EQ(registry.writeText(kBase, "ServerName", "MAIN_SRV"),
              RegStatus::Ok);  // the main logon
    const TDumpLoadSettings saved = tvr::testing::unusualSettings(dir.path());
    SaveSettings(registry, LiveSettings(saved));

    Registry nextRun(dir / "registry.reg");
    LiveSettings nextLive;
    RecordingHost nextHost(nextLive);
    LoadSettings(nextRun, nextLive, nextHost);
    EXPECT_EQ(nextLive.snapshot(), saved);
    EXPECT_EQ(nextHost.calls,
              (std::vector<std::string>{"setUseReserve false", "showIntervalField true",
                                        "ApplySettings", "setFolderPickerStarts"}));
    EXPECT_EQ(nextHost.pickers.dumpPath, saved.EditPathDump);
    EXPECT_EQ(nextHost.pickers.errorLogPath, "C:\\errs\\\\share");
}

TEST_F(SettingsStoreTest, TheFileAfterASaveHoldsEachSettingAsTheDefaultValueOfItsKey) {
    ASSERT_EQ(registry.writeText(kBase, "ServerName", "LOGON_MAIN"), RegStatus::Ok);
    TDumpLoadSettings s = tvr::testing::unusualSettings(dir.path());
    s.MainServerName = "NOT_WRITTEN_BY_SAVE";
    SaveSettings(registry, LiveSettings(s));

    const Registry reader(dir / "registry.reg");
    std::string text;
    ASSERT_EQ(reader.readText(kBase, "ServerName", text), RegStatus::Ok);
    EXPECT_EQ(text, "LOGON_MAIN");  // the save leaves the main server's name alone
    ASSERT_EQ(reader.readText(kReserv, "ServerName", text), RegStatus::Ok);
    EXPECT_EQ(text, s.ReservServerName);
    const std::pair<const char*, std::string> expected[] = {
        {"IsReserv", "0"},
        {"IsDumLoadBD", "0"},
        {"IsClearLog", "-1"},
        {"IsInterval", "-1"},
        {"EditInterval", s.EditInterval},
        {"ComboDump", s.ComboDump},
        {"EditPathDump", s.EditPathDump},
        {"ComboLoad", s.ComboLoad},
        {"EditPathLoad", s.EditPathLoad},
        {"EditLogPath", s.EditLogPath},
        {"EditErrorLogPath", s.EditErrorLogPath},
        {"IsFullOnBreak", "-1"},
        {"EditLagWarning", s.EditLagWarning},
        {"EditLagCritical", s.EditLagCritical},
        {"EditStallLimit", s.EditStallLimit},
        {"EditLogViewLines", s.EditLogViewLines},
        {"IsResumeChain", "-1"},
        {"IsCheckHeader", "0"},
    };
    for (const auto& [entry, value] : expected) {
        RegistryValue v;
        ASSERT_EQ(reader.readValue(kReserv + "\\" + entry, "", v), RegStatus::Ok) << entry;
        EXPECT_EQ(v, RegistryValue::string(value)) << entry;  // REG_SZ, default value
    }
    // As the file shows it: one key per setting below Reserv, the doubled separator gone.
    const std::string file = tvr::testing::fileText(dir / "registry.reg");
    EXPECT_NE(
        file.find(
            "[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase\\Reserv\\IsReserv]\n@=\"0\"\n"),
        std::string::npos)
        << file;
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase\\Reserv\\ComboDump]\n"
                        "@=\"db\\\\with\\\\backslashes\"\n"),
              std::string::npos);
    EXPECT_EQ(file.find("\\\\IsReserv"), std::string::npos);

    s.IsReserv = true;
    SaveSettings(registry, LiveSettings(s));
    EXPECT_EQ(defaultText("IsReserv"), "-1");
}

TEST_F(SettingsStoreTest, BooleansAcceptOtherNumbersAndTheWords) {
    store("IsReserv", "5");
    store("IsDumLoadBD", "False");
    store("IsClearLog", "true");
    store("IsInterval", "0");
    LoadSettings(registry, live, host);
    const TDumpLoadSettings s = live.snapshot();
    EXPECT_TRUE(s.IsReserv);
    EXPECT_FALSE(s.IsDumLoadBD);
    EXPECT_TRUE(s.IsClearLog);
    EXPECT_FALSE(s.IsInterval);
}

TEST_F(SettingsStoreTest, ExpandableTextsAreReadWithTheirReferencesUnexpanded) {
    ASSERT_EQ(registry.writeValue(kReserv + "\\EditLogPath", "",
                                  RegistryValue::expandString("%SYBASE%/my logs")),
              RegStatus::Ok);
    ASSERT_EQ(registry.writeValue(kReserv + "\\ComboDump", "",
                                  RegistryValue::expandString(std::string("pubs\0tail", 9))),
              RegStatus::Ok);
    ASSERT_EQ(registry.writeValue(kBase, "ServerName", RegistryValue::expandString("%HOST%")),
              RegStatus::Ok);
    LoadSettings(registry, live, host);
    EXPECT_EQ(live.snapshot().EditLogPath, "%SYBASE%/my logs");
    EXPECT_EQ(live.snapshot().ComboDump, "pubs");  // up to the first NUL
    EXPECT_EQ(live.snapshot().MainServerName, "%HOST%");
}

TEST_F(SettingsStoreTest, ABadBooleanStopsLoadingThereAndNothingIsApplied) {
    store("IsReserv", "0");
    store("IsDumLoadBD", "0");
    store("IsClearLog", "yes");
    store("IsInterval", "-1");
    store("EditInterval", "01:30");
    store("EditLogPath", "/logs");
    ASSERT_EQ(registry.writeText(kReserv, "ServerName", "RES"), RegStatus::Ok);
    try {
        LoadSettings(registry, live, host);
        FAIL() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "'yes' is not a valid boolean value");
    }
    const TDumpLoadSettings s = live.snapshot();
    EXPECT_EQ(s.ReservServerName, "RES");
    EXPECT_FALSE(s.IsReserv);  // read before the bad one
    EXPECT_FALSE(s.IsDumLoadBD);
    EXPECT_FALSE(s.IsClearLog);  // the bad one and all after it keep their values
    EXPECT_FALSE(s.IsInterval);
    EXPECT_EQ(s.EditInterval, "00:00");
    EXPECT_EQ(s.EditPathDump, "/opt/sap/sybase/dmp/data");
    EXPECT_EQ(s.EditLogPath, "");  // the log defaults come after the loop
    EXPECT_EQ(s.EditErrorLogPath, "");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"setUseReserve false"}));
}

TEST_F(SettingsStoreTest, ASettingKeyWithoutATextDefaultValueStopsLoadingWithTheKeyNamed) {
    store("EditInterval", "02:00");
    ASSERT_EQ(registry.createKey(kReserv + "\\ComboDump"), RegStatus::Ok);  // no default value
    store("EditPathDump", "/dumps");
    try {
        LoadSettings(registry, live, host);
        FAIL() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(),
                     "Unable to open key \"Software\\Kelvane\\DorniqSybase\\Reserv\\\\ComboDump\" "
                     "and access value \"\"");
    }
    EXPECT_EQ(live.snapshot().EditInterval, "02:00");
    EXPECT_EQ(live.snapshot().EditPathDump, "/opt/sap/sybase/dmp/data");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"setUseReserve true"}));

    // A default value of another type is no better.
    ASSERT_EQ(registry.writeDWord(kReserv + "\\ComboDump", "", 1), RegStatus::Ok);
    LiveSettings again;
    RecordingHost host2(again);
    EXPECT_THROW(LoadSettings(registry, again, host2), SettingsError);
}

TEST_F(SettingsStoreTest, ARegistryFileThatCannotBeParsedIsReportedAndKeptAsItIs) {
    const std::string broken = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"x\"=what\n";
    {
        std::ofstream out(dir / "registry.reg", std::ios::binary);
        out << broken;
    }
    try {
        LoadSettings(registry, live, host);
        FAIL() << "no error";
    } catch (const tvr::platform::RegistryError& e) {
        EXPECT_NE(std::string(e.what()).find((dir / "registry.reg").string()), std::string::npos);
        EXPECT_EQ(e.line(), 4);
    }
    EXPECT_TRUE(host.calls.empty());
    live.edit([&](TDumpLoadSettings& s) {
        s.EditPathDump = (dir / "d").string();
        s.EditPathLoad = (dir / "l").string();
    });
    EXPECT_THROW(SaveSettings(registry, live), tvr::platform::RegistryError);
    EXPECT_EQ(tvr::testing::fileText(dir / "registry.reg"), broken);
}

TEST_F(SettingsStoreTest, LoadingReadsTheFileOnceAndSavingReplacesItOnce) {
    int replacements = 0;
    registry.setReplaceStageHook([&](tvr::platform::ReplaceStage stage) {
        if (stage == tvr::platform::ReplaceStage::Renamed) ++replacements;
    });
    LoadSettings(registry, live, host);  // a first start: the two keys are created together
    EXPECT_EQ(replacements, 1);
    SaveSettings(registry, LiveSettings(tvr::testing::unusualSettings(dir.path())));
    EXPECT_EQ(replacements, 2);
    LiveSettings again;
    RecordingHost host2(again);
    LoadSettings(registry, again, host2);  // everything there: nothing written
    EXPECT_EQ(replacements, 2);
    TDumpLoadSettings expected = tvr::testing::unusualSettings(dir.path());
    expected.MainServerName.clear();  // the main logon's to write, not a save's
    EXPECT_EQ(again.snapshot(), expected);
}

TEST_F(SettingsStoreTest, SavingCreatesTheDumpAndLoadFoldersWithTheirParents) {
    TDumpLoadSettings s = tvr::testing::unusualSettings(dir.path());
    SaveSettings(registry, LiveSettings(s));
    EXPECT_TRUE(std::filesystem::is_directory(s.EditPathDump));
    EXPECT_TRUE(std::filesystem::is_directory(s.EditPathLoad));
    EXPECT_FALSE(std::filesystem::exists(s.EditLogPath));  // log folders are the start-up's

    // A folder that cannot be made (below a plain file) is not reported.
    { std::ofstream(dir / "plain") << "x"; }
    s.EditPathDump = (dir / "plain" / "sub").string();
    EXPECT_NO_THROW(SaveSettings(registry, LiveSettings(s)));
}

TEST_F(SettingsStoreTest, AnEmptyDumpFolderFailsAfterEveryRegistryWrite) {
    TDumpLoadSettings s = tvr::testing::unusualSettings(dir.path());
    s.EditPathDump = "";
    try {
        SaveSettings(registry, LiveSettings(s));
        FAIL() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "Unable to create directory");
    }
    EXPECT_EQ(defaultText("EditPathDump"), "");
    EXPECT_EQ(defaultText("EditErrorLogPath"), s.EditErrorLogPath);  // the last write was made
    EXPECT_FALSE(std::filesystem::exists(s.EditPathLoad));           // not attempted after it

    s.EditPathDump = (dir / "dumps").string();
    s.EditPathLoad = "";
    EXPECT_THROW(SaveSettings(registry, LiveSettings(s)), SettingsError);
    EXPECT_TRUE(std::filesystem::is_directory(s.EditPathDump));
}

TEST_F(SettingsStoreTest, AServerNameThatCannotBeReadIsPassedOver) {
    ASSERT_EQ(registry.writeDWord(kBase, "ServerName", 7), RegStatus::Ok);
    store("ComboDump", "pubs2");
    live.edit([](TDumpLoadSettings& s) { s.MainServerName = "kept"; });
    LoadSettings(registry, live, host);
    EXPECT_EQ(live.snapshot().MainServerName, "kept");
    EXPECT_EQ(live.snapshot().ComboDump, "pubs2");
    EXPECT_EQ(host.calls.size(), 4u);
}

TEST_F(SettingsStoreTest, KeysThatCannotBeCreatedEndLoadingWithAReport) {
    { std::ofstream(dir / "plain") << "x"; }
    Registry blocked(dir / "plain" / "registry.reg");
    EXPECT_THROW(LoadSettings(blocked, live, host), tvr::platform::RegistryError);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(live.snapshot().EditPathDump, "/opt/sap/sybase/dmp/data");
    EXPECT_EQ(live.snapshot().EditLogPath, "");
}
