#pragma once
// What the logon and settings-dialog tests share: logon dialogs answered from a script, and two emulators (main and reserve)
// with passwords, an Open Client folder listing them, a registry file and log files in a
// fresh folder. After each test no password may appear in the registry file, the log files
// or the emulators' traces.
#include "config/ConnectForm.h"
#include "config/Logons.h"
#include "config/ServerList.h"
#include "config/SettingsKeys.h"
#include "engine/DumpLoadThread.h"
#include "tests/support/Emulator.h"
#include "tests/support/RecordingDisplay.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/RunState.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tvr::testing {

// One showing of the logon dialog: Ok with these values, or Cancel.
struct LogonAnswer {
    bool ok = false;
    std::string server;
    std::string user;
    std::string password;
};

// Logon dialogs without a window: each showing activates the form as the dialog does,
// records what the dialog would show, and answers from the script (Cancel when it is empty).
class ScriptedDialogs final : public config::LogonDialogs {
public:
    struct Shown {
        std::string caption, server, user, password;
    };

    std::unique_ptr<config::LogonDialog> MakeLogonDialog(config::ConnectForm& form) override {
        return std::make_unique<Dialog>(*this, form);
    }
    void answer(LogonAnswer a) { script.push_back(std::move(a)); }

    std::deque<LogonAnswer> script;
    std::vector<Shown> shown;

private:
    class Dialog final : public config::LogonDialog {
    public:
        Dialog(ScriptedDialogs& owner, config::ConnectForm& form) : owner_(owner), form_(form) {}
        bool ShowModal() override {
            try {
                form_.FormActivate();
            } catch (const config::ServerListError&) {
            }
            owner_.shown.push_back({form_.Caption(), form_.Server, form_.User, form_.Password});
            if (owner_.script.empty()) return false;
            const LogonAnswer a = owner_.script.front();
            owner_.script.pop_front();
            if (a.ok) form_.BtnEnterClick(a.server, a.user, a.password);
            return a.ok;
        }

    private:
        ScriptedDialogs& owner_;
        config::ConnectForm& form_;
    };
};

inline constexpr const char* kMainPassword = "MainSecret1";
inline constexpr const char* kReservePassword = "ResSecret2";

class TwoServers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::EmulatorOptions main;
        main.name = "TVRMAIN";
        main.databases = {"sales"};
        main.logins = {std::string("sa:") + kMainPassword};
        mainServer = new testing::Emulator(main);
        testing::EmulatorOptions reserve;
        reserve.name = "TVRRES";
        reserve.databases = {"sales_copy"};
        reserve.logins = {std::string("sa:") + kReservePassword};
        reserveServer = new testing::Emulator(reserve);
    }
    static void TearDownTestSuite() {
        delete mainServer;
        delete reserveServer;
        mainServer = reserveServer = nullptr;
    }

    void SetUp() override {
        sybase = dir.path() / "sybase";
        writeFile(sybase / "ini" / "sql.ini",
                  ";; servers\r\n[TVRMAIN]\r\nquery=TCP,127.0.0.1,1\r\n[TVRRES]\r\n");
        environment.set("SYBASE", sybase.string());
        logFiles.activity = (dir.path() / "act.log").string();
        logFiles.error = (dir.path() / "err.log").string();
    }

    void TearDown() override {
        if (window.worker) {
            window.worker->StopRequested = true;
            window.worker.StopAndFree();  // joins it before its connections go
        }
        window.connections.MainConnection.reset();
        window.connections.ReserveConnection.reset();
        const std::vector<std::filesystem::path> files = {registry.file(), logFiles.activity,
                                                          logFiles.error, mainServer->tracePath(),
                                                          reserveServer->tracePath()};
        for (const auto& file : files) {
            const std::string text = fileText(file);
            for (const char* password : {kMainPassword, kReservePassword})
                EXPECT_EQ(text.find(password), std::string::npos) << password << " in " << file;
        }
    }

    static void writeFile(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string activity() const { return fileText(logFiles.activity); }
    std::string errors() const { return fileText(logFiles.error); }
    // The names a previous run's logons left in the registry.
    void rememberNames() {
        registry.writeText(config::kSettingsBaseKey, "ServerName", "TVRMAIN");
        registry.writeText(config::kSettingsBaseKey, "UserName", "sa");
        registry.writeText(config::reserveKeyPath(), "ServerName", "TVRRES");
        registry.writeText(config::reserveKeyPath(), "UserName", "sa");
    }

    static inline testing::Emulator* mainServer = nullptr;
    static inline testing::Emulator* reserveServer = nullptr;

    TempFolder dir;
    ScopedEnvironment environment;
    std::filesystem::path sybase;
    platform::Registry registry{dir.path() / "registry.reg"};
    platform::RecordingPrompts prompts;
    tvr::testing::RunState window;
    testing::RecordingDisplay display;
    config::LiveSettings live;
    config::LogFileNames logFiles;
};

}  // namespace tvr::testing
