#pragma once
// A settings host that records what loading asked of the windows, and a registry in a
// fresh folder for each test.
#include "config/SettingsStore.h"
#include "tests/support/TempFolder.h"

#include <string>
#include <vector>

namespace tvr::testing {

class RecordingHost final : public config::SettingsHost {
public:
    explicit RecordingHost(const config::LiveSettings& live) : live_(live) {}

    void setUseReserve(bool useReserve) override {
        calls.push_back(std::string("setUseReserve ") + (useReserve ? "true" : "false"));
    }
    void showIntervalField(bool visible) override {
        calls.push_back(std::string("showIntervalField ") + (visible ? "true" : "false"));
    }
    void ApplySettings() override {
        calls.push_back("ApplySettings");
        applied = live_.snapshot();
    }
    void setFolderPickerStarts(const config::FolderPickerStarts& s) override {
        calls.push_back("setFolderPickerStarts");
        pickers = s;
    }

    std::vector<std::string> calls;
    config::TDumpLoadSettings applied;  // the live copy when ApplySettings ran
    config::FolderPickerStarts pickers;

private:
    const config::LiveSettings& live_;
};

// A full set of settings unlike the defaults, with texts that test the file format.
inline config::TDumpLoadSettings unusualSettings(const std::filesystem::path& folder) {
    config::TDumpLoadSettings s;
    s.MainServerName = "MAIN_SRV";
    s.ReservServerName = "RES \"quoted\" Ж";
    s.IsReserv = false;
    s.IsDumLoadBD = false;
    s.IsClearLog = true;
    s.IsInterval = true;
    s.EditInterval = "1:5 not a time";
    s.ComboDump = "db\\with\\backslashes";
    s.EditPathDump = (folder / "dump dir" / "über").string();
    s.ComboLoad = "  spaced \"db\"  ";
    s.EditPathLoad = (folder / "load" / "deep" / "er").string();
    s.EditLogPath = "%SYBASE%/logs/Журнал";
    s.EditErrorLogPath = "C:\\errs\\\\share";
    s.IsFullOnBreak = true;
    s.EditLagWarning = "5";
    s.EditLagCritical = "not minutes";
    s.EditStallLimit = "0";
    s.EditLogViewLines = "5000";
    s.IsResumeChain = true;
    return s;
}

}  // namespace tvr::testing
