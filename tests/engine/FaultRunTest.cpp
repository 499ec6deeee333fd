// Processing through faults of the servers and the disk: after each the worker goes on pass
// after pass, every message of the servers and the library is in the logs, and a stop during
// the wait still ends the run within a second.
#include "tests/engine/ProcessingFixture.h"

#include <csignal>

using namespace tvr::engine;
using namespace tvr::engine::testing;
using tvr::platform::PromptReply;

namespace {

class FaultRun : public ProcessingFixture {
protected:
    // Every line each view was given is in its log file, in the same order.
    void expectViewLinesInTheLogs() {
        for (const auto& [view, file] :
             {std::pair{&activityView, logFile()}, std::pair{&errorView, errorLogFile()}}) {
            const std::string log = fileText(file);
            std::size_t at = 0;
            for (const std::string& line : view->texts()) {
                if (line.empty()) continue;
                const std::size_t found = log.find(line, at);
                ASSERT_NE(found, std::string::npos)
                    << file << " lacks, after " << at << ": " << line;
                at = found + line.size();
            }
        }
    }

public:
    bool waitForCondition(const std::function<bool()>& condition) { return waitFor(condition); }
    tvr::testing::Emulator& mainServer() { return *main; }
    tvr::testing::Emulator& reserveServer() { return *reserve; }
    const fs::path& dumpFolder() const { return dumps; }
    bool loadSent() const { return !spTvrCalls(reserveCommands()).empty(); }
    using ProcessingFixture::fileNames;
    using ProcessingFixture::namesNeverTaken;
    using ProcessingFixture::sleeps;
};

struct Fault {
    std::string name;
    std::vector<std::string> mainArgs;
    std::vector<std::string> reserveArgs;
    // Brings the fault about once processing runs.
    std::function<void(FaultRun&)> inject;
    std::string inActivityLog;  // a text the activity log holds afterwards
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class FaultRunTable : public FaultRun, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultRunTable, TheWorkerGoesOnPassAfterPassAndStillStopsWithinASecond) {
    const Fault& fault = GetParam();
    startServers(fault.mainArgs, fault.reserveArgs);
    realSleep = true;
    host.setPassSettings(TPassSettings{true, true, "00:00:01"});
    control.StartProcessing();
    fault.inject(*this);
    const int afterFault = runPasses();
    ASSERT_TRUE(waitFor([&] { return runPasses() >= afterFault + 3; }));

    // A stop during the wait: right after a one-second step has begun.
    const int sleepsBefore = sleeps;
    ASSERT_TRUE(waitFor([&] { return sleeps > sleepsBefore; }));
    prompts.scriptReply(PromptReply::Yes);
    ASSERT_TRUE(control.ConfirmStop(StopQuestion));
    const int passesAtStop = runPasses();
    ASSERT_TRUE(waitUntilEnded());
    EXPECT_LE(runPasses() - passesAtStop, 1);
    EXPECT_EQ(display.panelText(PanelState), "Not active...");
    EXPECT_NE(fileText(logFile()).find(fault.inActivityLog), std::string::npos);
    expectViewLinesInTheLogs();
}

// The first pass's dump is being written.
void waitForDump(FaultRun& fixture, const fs::path& folder) {
    ASSERT_TRUE(fixture.waitForCondition([&] { return !fs::is_empty(folder); }));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultRunTable,
    ::testing::Values(
        Fault{"MainKilledDuringADump",
              {"--io-rate", "0.008"},
              {},
              [](FaultRun& fixture) {
                  waitForDump(fixture, fixture.dumpFolder());
                  fixture.mainServer().signal(SIGKILL);
                  fixture.mainServer().start();  // the worker opens its connection again
              },
              "Unexpected Error! Connect failed!"},
        Fault{"ReserveKilledDuringALoad",
              {},
              {"--io-rate", "0.008"},
              [](FaultRun& fixture) {
                  ASSERT_TRUE(fixture.waitForCondition([&] { return fixture.loadSent(); }));
                  fixture.reserveServer().signal(SIGKILL);
                  fixture.reserveServer().start();
              },
              "Unexpected Error! Connect failed!"},
        Fault{"BackupServersStopped",
              {"--backup-server", "stopped"},
              {"--backup-server", "stopped"},
              [](FaultRun&) {},
              "number 7205"},
        Fault{"DumpFolderRemoved",
              {},
              {},
              [](FaultRun& fixture) {
                  ASSERT_TRUE(fixture.waitForCondition([&] { return fixture.sleeps > 0; }));
                  fs::remove_all(fixture.dumpFolder());
              },
              "(No such file or directory)"},
        Fault{"DiskFull",
              {},
              {},
              [](FaultRun& fixture) {
                  // The next passes' files (the clock moves a second per file) lead to a
                  // device that is always full; the worker is let write over them.
                  fixture.namesNeverTaken = true;
                  for (int second = 20; second < 60; ++second)
                      fs::create_symlink("/dev/full",
                                         fixture.dumpFolder() / ("sales06.12.20261405" +
                                                                 std::to_string(second) + ".tr"));
                  fixture.fileNames = 8;
              },
              "(No space left on device)"}),
    [](const ::testing::TestParamInfo<Fault>& param) { return param.param.name; });

}  // namespace

// A server that refuses the logon (its password changed) is there and says no: processing
// stops after the refusals in a row the settings allow, with an entry naming the login and
// the server, and the waits before the tries grew (1, 2, 4 seconds) as the back-off says.
TEST_F(FaultRun, RefusedLogonsStopProcessingAfterTheLimitWithWaitsThatGrow) {
    startServers();
    TPassSettings settings{true, true, "00:00:01"};
    settings.LogonRefusalLimit = 3;
    host.setPassSettings(settings);
    std::mutex mutex;
    std::map<std::size_t, int> sleepsAfterTry;  // tries made so far -> sleeps since
    onSleep = [&] {
        std::size_t tries = 0;
        for (const std::string& line : activityView.texts())
            if (line.find(std::string("Connecting to ") + kMain + " again, try") !=
                std::string::npos)
                ++tries;
        std::lock_guard lock(mutex);
        ++sleepsAfterTry[tries];
    };
    control.StartProcessing();
    ASSERT_TRUE(waitFor([&] { return runPasses() >= 1; }));
    main->stop();
    main->start({"sa:changed"});
    ASSERT_TRUE(waitUntilEnded());
    const std::string errors = fileText(errorLogFile());
    EXPECT_NE(
        errors.find(std::string("The logon of sa to ") + kMain + " was refused 3 times in a row"),
        std::string::npos)
        << errors;
    EXPECT_TRUE(window.flags.FLogonRefused);
    std::lock_guard lock(mutex);
    // The wait before each try: those before the first also hold the passes' intervals.
    for (const auto& [tries, waited] : sleepsAfterTry) {
        if (tries > 0) {
            EXPECT_EQ(waited, backoffSeconds(int(tries) + 1)) << "after try " << tries;
        }
    }
    EXPECT_LT(sleepsAfterTry[1], sleepsAfterTry[2]) << "the back-off does not grow";
    // No try after the last refusal.
    std::size_t refusals = 0;
    for (auto at = errors.find("number 4002"); at != std::string::npos;
         at = errors.find("number 4002", at + 1))
        ++refusals;
    EXPECT_EQ(refusals, 3u) << errors;
}

// A main server that stops answering in the middle of a pass (SIGSTOP): its call is abandoned
// at the stall limit with an entry naming the server and the statement, and once it answers
// again (SIGCONT) the connection is opened again and the passes go on.
TEST_F(FaultRun, ACallAStoppedServerDoesNotAnswerIsAbandonedAtTheStallLimit) {
    startServers();
    TPassSettings settings{true, true, "00:00:01"};
    settings.StallLimitMinutes = 1;
    host.setPassSettings(settings);
    realSleep = true;
    control.StartProcessing();
    ASSERT_TRUE(waitFor([&] { return runPasses() >= 1; }));
    main->signal(SIGSTOP);
    const auto stopped = std::chrono::steady_clock::now();
    const std::string abandoned =
        std::string("The call to ") + kMain + " got no answer within 60 s";
    ASSERT_TRUE(display.waitFor(
        [&] { return fileText(errorLogFile()).find(abandoned) != std::string::npos; },
        std::chrono::minutes(3)))
        << fileText(errorLogFile());
    EXPECT_LT(std::chrono::steady_clock::now() - stopped,
              std::chrono::seconds(60 + tvr::client::kCancelWaitSeconds + 30));
    main->signal(SIGCONT);
    const int passesBack = runPasses();
    EXPECT_TRUE(waitFor([&] { return runPasses() >= passesBack + 2; }));
    EXPECT_NE(
        fileText(errorLogFile()).find(std::string("Connection to ") + kMain + " opened again"),
        std::string::npos);
    prompts.scriptReply(PromptReply::Yes);
    ASSERT_TRUE(control.ConfirmStop(StopQuestion));
    ASSERT_TRUE(waitUntilEnded());
}
