#pragma once
// Processing against two emulators through the real client library: a main server with the
// database sales and a reserve server with sales_copy, each with its own data folder, sp_TVR
// installed on both. The main dumps into `dumps`; the reserve reads the same files through
// `loads`, a link of its own to that folder, as two servers see one share by their own paths.
// The window is the recording display; the logons of the scripted host connect the test's
// TSybaseConnect objects. The worker's clock moves one second per file name from
// 6 December 2026 14:05:12 and its sleep only counts, unless a test makes it sleep.
#include "client/LogSink.h"
#include "client/RunQuery.h"
#include "client/Sybase.h"
#include "engine/DumpLoadThread.h"
#include "engine/ProcedureScript.h"
#include "engine/ProcessingControl.h"
#include "platform/RegionalSettings.h"
#include "tests/support/Emulator.h"
#include "tests/support/RecordingDisplay.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/RunState.h"
#include "tests/support/ScriptedProcessingHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tvr::engine::testing {

namespace fs = std::filesystem;

using tvr::testing::fileText;

// The language commands our code sent to an emulator, in arrival order.
inline std::vector<std::string> traceCommands(const tvr::testing::Emulator& server) {
    std::vector<std::string> commands;
    for (auto& command : server.ownCommands()) commands.push_back(std::move(command.text));
    return commands;
}

// (TypeTrans, device name) of each sp_TVR call among `commands`.
inline std::vector<std::pair<int, std::string>> spTvrCalls(
    const std::vector<std::string>& commands) {
    const std::regex call(R"re(^execute sp_TVR @TypeTrans=(\d+), .*@device_name="([^"]*)"$)re");
    std::vector<std::pair<int, std::string>> calls;
    for (const std::string& command : commands) {
        std::smatch match;
        if (std::regex_match(command, match, call))
            calls.emplace_back(std::stoi(match[1]), match[2]);
    }
    return calls;
}

inline int countOf(const std::vector<std::string>& commands, const std::string& command) {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

class ProcessingFixture : public ::testing::Test {
protected:
    static constexpr const char* kMain = "TVRMAIN";
    static constexpr const char* kReserve = "TVRRESERVE";

    void SetUp() override {
        platform::injectRegionalFormats(platform::RegionalFormats{"%d.%m.%Y", "%H:%M:%S", ':'});
        dir = folder.path();
        dumps = dir / "dumps";
        loads = dir / "reserve-share";
        fs::create_directory(dumps);
        fs::create_directory_symlink(dumps, loads);
        previousLogView = client::setLogView(&activityView);
        previousErrorView = client::setErrorLogView(&errorView);

        host.setStartSettings(
            TStartSettings{true, "sales", dumps.string(), "sales_copy", loads.string()});
        host.setPassSettings(TPassSettings{false, false, "00:00"});
        host.onLogonMain = [this](TConnections&) {
            logOn(window.connections.MainConnection, *main);
        };
        host.onLogonReserve = [this](TConnections&) {
            logOn(window.connections.ReserveConnection, *reserve);
        };
    }

    void TearDown() override {
        window.worker.StopAndFree();
        window.connections.MainConnection.reset();
        window.connections.ReserveConnection.reset();
        main.reset();
        reserve.reset();
        client::setErrorLogView(previousErrorView);
        client::setLogView(previousLogView);
        platform::injectRegionalFormats(std::nullopt);
    }

    // Starts both servers (extra aseemu arguments for each), installs sp_TVR on both and
    // gives the main database a table with three rows. Connections are made by the logons.
    void startServers(std::vector<std::string> mainArgs = {},
                      std::vector<std::string> reserveArgs = {}) {
        tvr::testing::EmulatorOptions mainOptions;
        mainOptions.name = kMain;
        mainOptions.databases = {"sales"};
        mainOptions.extraArgs = std::move(mainArgs);
        mainOptions.dataDir = (dir / "main-data").string();
        main.emplace(mainOptions);
        tvr::testing::EmulatorOptions reserveOptions;
        reserveOptions.name = kReserve;
        reserveOptions.databases = {"sales_copy"};
        reserveOptions.extraArgs = std::move(reserveArgs);
        reserveOptions.dataDir = (dir / "reserve-data").string();
        reserve.emplace(reserveOptions);

        for (auto* server : {&*main, &*reserve}) {
            client::TSybaseConnect setup(server->name(), "sa", "", logFile(), errorLogFile());
            ASSERT_EQ(server->logOn([&] { return setup.Connect(); }), CS_SUCCEED);
            client::TRunQuery(setup).RunInstallScript(std::string(SpTvrInstallScript));
            ASSERT_FALSE(setup.ServerError()) << fileText(errorLogFile());
            if (server == &*main) {
                setup.Execute("use sales");
                setup.Execute("create table orders (id int, item varchar(30))");
                setup.Execute("insert into orders values (1, 'first')");
                setup.Execute("insert into orders values (2, 'second')");
                setup.Execute("insert into orders values (3, 'third')");
            }
        }
        mainCommandsBefore = traceCommands(*main).size();
        reserveCommandsBefore = traceCommands(*reserve).size();
    }

    // Ends the run, the connections and both servers, and empties their folders and the logs,
    // so that a table's next case starts as the first did.
    void dropServers() {
        window.worker.StopAndFree();
        window.connections.MainConnection.reset();
        window.connections.ReserveConnection.reset();
        window.connections.MainConnected = false;
        window.connections.ReserveConnected = false;
        main.reset();
        reserve.reset();
        fs::remove_all(dir / "main-data");
        fs::remove_all(dir / "reserve-data");
        fs::remove(logFile());
        fs::remove(errorLogFile());
        for (const auto& file : fs::directory_iterator(dumps)) fs::remove(file.path());
        for (const auto& file : fs::directory_iterator(dir)) {
            if (file.path().filename().string().starts_with("history-")) fs::remove(file.path());
        }
    }

    // What a successful logon leaves in the window: an open connection and its flag.
    void logOn(std::shared_ptr<client::TSybaseConnect>& field, tvr::testing::Emulator& server) {
        auto connection = std::make_unique<client::TSybaseConnect>(server.name(), "sa", "",
                                                                   logFile(), errorLogFile());
        if (server.logOn([&] { return connection->Connect(); }) != CS_SUCCEED) return;
        field = std::move(connection);
        if (&server == &*main)
            window.connections.MainConnected = true;
        else
            window.connections.ReserveConnected = true;
    }

    // The commands each server received since startServers, in order.
    std::vector<std::string> mainCommands() const {
        auto all = traceCommands(*main);
        return {all.begin() + static_cast<std::ptrdiff_t>(mainCommandsBefore), all.end()};
    }
    std::vector<std::string> reserveCommands() const {
        auto all = traceCommands(*reserve);
        return {all.begin() + static_cast<std::ptrdiff_t>(reserveCommandsBefore), all.end()};
    }

    TWorkerClock testClock() {
        return TWorkerClock{
            [this] {
                std::tm when{};
                when.tm_year = 2026 - 1900;
                when.tm_mon = 11;
                when.tm_mday = 6;
                when.tm_hour = 14;
                when.tm_min = 5;
                when.tm_sec = 12 + (sameSecond ? fileNames.load() : fileNames++);
                std::mktime(&when);
                return when;
            },
            [this](std::chrono::milliseconds step) {
                {
                    std::lock_guard lock(sleepMutex);
                    ++sleepsInPass[runPasses()];
                }
                ++sleeps;
                if (onSleep) onSleep();
                if (realSleep) std::this_thread::sleep_for(step);
            },
            [this](const std::string& path) {
                {
                    std::lock_guard lock(sleepMutex);
                    deleted.push_back(path);
                }
                return std::remove(path.c_str()) == 0;
            },
            [this](const std::string& path) {
                std::error_code error;
                return !namesNeverTaken && fs::exists(fs::symlink_status(path, error));
            },
        };
    }

    int passes() const { return display.count("SetProcessState(1)"); }
    int runPasses() const { return passes() - passBase; }
    // Counts the next run's passes, sleeps and file names from the start.
    void newRun() {
        std::lock_guard lock(sleepMutex);
        sleepsInPass.clear();
        deleted.clear();
        passBase = passes();
        sleeps = 0;
        fileNames = 0;
    }
    bool waitFor(const std::function<bool()>& condition) { return display.waitFor(condition); }
    bool waitForPasses(int n) {
        return waitFor([&] { return display.count("SetProcessState(2)") >= n; });
    }
    bool waitUntilEnded() {
        return waitFor([&] { return window.worker->Finished(); });
    }
    // Stops the run from the worker's side of the table, without a question.
    void stopNow() { control.RequestStop(); }

    std::string logFile() const { return (dir / "act.log").string(); }
    std::string errorLogFile() const { return (dir / "err.log").string(); }

    tvr::testing::TempFolder folder{"tvr-processing"};
    fs::path dir;
    fs::path dumps;
    fs::path loads;
    std::optional<tvr::testing::Emulator> main;
    std::optional<tvr::testing::Emulator> reserve;
    std::size_t mainCommandsBefore = 0;
    std::size_t reserveCommandsBefore = 0;

    platform::RecordingPrompts prompts;
    client::RecordingLogSink activityView;
    client::RecordingLogSink errorView;
    tvr::testing::RecordingDisplay display;
    tvr::testing::RunState window;
    tvr::testing::ScriptedProcessingHost host{window.connections};

    std::atomic<int> fileNames{0};
    std::atomic<int> sleeps{0};
    std::atomic<bool> realSleep{false};
    std::atomic<bool> sameSecond{false};       // the clock stands still: passes share a second
    std::atomic<bool> namesNeverTaken{false};  // the worker may write over an existing file
    std::function<void()> onSleep;             // runs on the worker thread at every sleep step
    std::mutex sleepMutex;
    std::atomic<int> passBase{0};
    std::map<int, int> sleepsInPass;  // pass of the run (1 = the first) to its sleep steps
    std::vector<std::string> deleted;

    TProcessingControl control{window.connections,
                               window.flags,
                               window.worker,
                               display,
                               host,
                               client::LogViews{&activityView, &errorView},
                               nullptr,
                               testClock()};

private:
    client::LogSink* previousLogView = nullptr;
    client::LogSink* previousErrorView = nullptr;
};

}  // namespace tvr::engine::testing
