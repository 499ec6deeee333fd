// The Failover, Switchover, Reverse and Re-seed commands of the main window against two
// emulators: the questions name both servers and databases, default to No and say first which
// command they are; a failover without a main session logs on to the main server and saves the
// tail; it runs beside the GUI thread once the run under way has ended, its report comes in a
// box, and Reverse then ships the other way; a stop by signal during a failover lets it stop at
// its safe point and then ends the program; a re-seed starts only on Yes to a question whose
// default is No.
#include "WindowFixture.h"

#include "client/RunQuery.h"
#include "config/ReverseRoles.h"
#include "engine/ProcedureScript.h"
#include "tests/support/Emulator.h"
#include "tests/support/ScriptedProcessingHost.h"

#include <filesystem>

using namespace tvr;
using platform::PromptReply;

namespace {

namespace fs = std::filesystem;

class FailoverWindow : public tvr::testing::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        fs::create_directory(dir.path() / "dumps");
        tvr::testing::EmulatorOptions options;
        options.name = "FOMAIN";
        options.databases = {"sales"};
        main.emplace(options);
        options.name = "FORESERVE";
        options.databases = {"sales_copy"};
        reserve.emplace(options);
        for (auto* server : {&*main, &*reserve}) {
            client::TSybaseConnect setup(server->name(), "sa", "", logFile(), errorLogFile());
            ASSERT_EQ(setup.Connect(), CS_SUCCEED);
            client::TRunQuery(setup).RunInstallScript(std::string(engine::SpTvrInstallScript));
            if (server == &*main) {
                setup.Execute("create table sales..orders (id int, item varchar(30))");
                setup.Execute("insert into sales..orders values (1, 'first')");
            }
        }
        host = std::make_unique<tvr::testing::ScriptedProcessingHost>(window->connections());
        host->onLogonMain = [this](engine::TConnections& c) { logOn(c, true); };
        host->onLogonReserve = [this](engine::TConnections& c) { logOn(c, false); };
        const std::string folder = (dir.path() / "dumps").string();
        host->setStartSettings({true, "sales", folder, "sales_copy", folder});
        host->setPassSettings({false, true, "00:00:01"});
        window->setProcessingHost(*host);
    }
    void TearDown() override {
        window.reset();
        host.reset();
        main.reset();
        reserve.reset();
        WindowFixture::TearDown();
    }
    void logOn(engine::TConnections& connections, bool toMain) {
        auto& server = toMain ? *main : *reserve;
        auto session = std::make_shared<client::TSybaseConnect>(server.name(), "sa", "", logFile(),
                                                                errorLogFile());
        if (session->Connect() != CS_SUCCEED) return;
        (toMain ? connections.MainConnection : connections.ReserveConnection) = session;
        (toMain ? connections.MainConnected : connections.ReserveConnected) = true;
    }
    bool logHas(const std::string& text) const {
        const auto bytes = tvr::testing::fileText(logFile());
        return bytes.find(text) != std::string::npos;
    }
    std::optional<tvr::testing::Emulator> main;
    std::optional<tvr::testing::Emulator> reserve;
    std::unique_ptr<tvr::testing::ScriptedProcessingHost> host;
};

TEST_F(FailoverWindow, TheCommandAsksNamingBothSidesStopsTheRunReportsAndReverseShipsBack) {
    window->NStartClick();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return logHas("LOAD is complete (database sales_copy)"); }, 60000));
    // The two questions default to No and say in their first words what differs.
    window->NSwitchoverClick();
    prompts.scriptReply(PromptReply::Yes);  // Stop process?
    window->NStopClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->control().Running(); }, 60000));
    // No main session is open: the failover logs on before it decides the main is lost.
    host->serverNames = {"FOMAIN", "FORESERVE"};
    window->connections().MainConnection.reset();
    window->connections().MainConnected = false;
    prompts.scriptReply(PromptReply::Yes);  // Fail over?
    prompts.scriptReply(PromptReply::Yes);  // Fence?
    window->NFailoverClick();
    // The GUI thread is free while the failover goes on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.boxes().size() >= 5; }, 60000));
    const auto boxes = prompts.boxes();
    for (const auto& [box, first] : {std::pair{0, "Switchover: "}, std::pair{2, "Failover: "}}) {
        const auto& question = boxes[static_cast<std::size_t>(box)];
        EXPECT_EQ(question.text.rfind(first, 0), 0u) << question.text;
        EXPECT_TRUE(question.defaultNo);
        for (const char* name : {"sales", "FOMAIN", "sales_copy", "FORESERVE"})
            EXPECT_NE(question.text.find(name), std::string::npos) << name << ": " << question.text;
    }
    EXPECT_TRUE(boxes[3].defaultNo);  // the fence
    EXPECT_NE(boxes[3].text.find("read only"), std::string::npos) << boxes[3].text;
    const auto calls = host->calls();
    EXPECT_NE(std::find_if(calls.begin(), calls.end(),
                           [](const std::string& c) { return c.rfind("LogonMain", 0) == 0; }),
              calls.end());
    EXPECT_NE(boxes[4].text.find("sales_copy on FORESERVE is online"), std::string::npos)
        << boxes[4].text;
    EXPECT_NE(boxes[4].text.find("Loss window: none (the tail of the log was saved after the "
                                 "fence)"),
              std::string::npos);
    EXPECT_NE(boxes[4].text.find("sales on FOMAIN is read only since"), std::string::npos);
    EXPECT_FALSE(window->control().Running());
    EXPECT_TRUE(action("N_Reverse")->isEnabled());

    // Reverse: the roles change places, the fence is lifted, and the run starts with a full
    // pass the other way.
    config::LiveSettings live;
    live.edit([](config::TDumpLoadSettings& s) {
        s.ComboDump = "sales";
        s.ComboLoad = "sales_copy";
    });
    platform::Registry registry((dir.path() / "registry.reg").string());
    window->setReverseCommand([&] {
        config::reverseRoles(live, registry, window->connections());
        const std::string folder = (dir.path() / "dumps").string();
        host->setStartSettings({true, "sales_copy", folder, "sales", folder});
    });
    prompts.scriptReply(PromptReply::Yes);
    window->NReverseClick();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return logHas("LOAD is complete (database sales)"); }, 60000));
    EXPECT_FALSE(action("N_Reverse")->isEnabled());
    EXPECT_EQ(window->connections().MainConnection->ServerName(), "FORESERVE");
    client::TSybaseConnect check(main->name(), "sa", "", logFile(), errorLogFile());
    ASSERT_EQ(check.Connect(), CS_SUCCEED);
    check.Execute("select name from master..sysdatabases where status & 1024 = 0");
    ASSERT_FALSE(check.ColTexts().empty());
    EXPECT_NE(check.ColTexts()[0].find("sales"), std::string::npos);  // no longer read only
}

TEST_F(FailoverWindow, ASignalDuringAFailoverStopsItAtItsSafePointThenEndsTheProgram) {
    window->NStartClick();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return logHas("LOAD is complete (database sales_copy)"); }, 60000));
    // The worker is held inside its pass, so the failover waits for it.
    host->holdPasses();
    host->waitUntilHeld();
    prompts.scriptReply(PromptReply::Yes);
    prompts.scriptReply(PromptReply::Yes);  // fenced: had it gone on, the main would be read only
    window->NFailoverClick();
    ASSERT_TRUE(window->failover().Running());

    window->ExitWithoutQuestion();  // what SIGTERM runs
    EXPECT_FALSE(window->flags().FExitRequested);
    EXPECT_TRUE(logHas("the program is ending"));
    host->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->flags().FExitRequested.load(); }, 60000));
    EXPECT_FALSE(window->failover().Running());
    EXPECT_TRUE(logHas("stopped: the program is ending"));
    EXPECT_FALSE(logHas("Failover: 2: "));  // nothing was sent to the main server
    EXPECT_EQ(prompts.boxes().size(), 2u);  // no report box: nobody may be there
}

TEST_F(FailoverWindow, ReseedAsksWithNoAsDefaultNamingWhatItReplacesAndOnlyYesStarts) {
    host->serverNames = {"FOMAIN", "FORESERVE"};
    QAction* reseed = action("N_Reseed");
    // Without a reserve server there is nothing to re-seed: the menus see it as they open.
    window->flags().UseReserve = false;
    emit find<QMenu>("PopupMenuTray")->aboutToShow();
    EXPECT_FALSE(action("NReseed")->isEnabled());
    EXPECT_FALSE(reseed->isEnabled());
    window->NReseedClick();
    EXPECT_TRUE(prompts.boxes().empty());

    window->flags().UseReserve = true;
    window->EnableStart(true);
    ASSERT_TRUE(reseed->isEnabled() && action("NReseed")->isEnabled());
    prompts.scriptReply(PromptReply::No);
    reseed->trigger();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    const auto question = prompts.boxes()[0];
    for (const char* name : {"FOMAIN", "sales", "FORESERVE", "sales_copy"})
        EXPECT_NE(question.text.find(name), std::string::npos) << question.text;
    EXPECT_TRUE(question.defaultNo);
    EXPECT_EQ(question.caption, "Message");
    // No: nothing logged on, nothing started.
    EXPECT_TRUE(host->calls().empty());
    EXPECT_FALSE(window->connections().MainConnection);
    EXPECT_FALSE(window->control().Running());

    prompts.scriptReply(PromptReply::Yes);
    reseed->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return logHas("LOAD is complete (database sales_copy)"); }, 60000));
    settle();
    EXPECT_FALSE(reseed->isEnabled() || action("NReseed")->isEnabled());  // as Start
}

}  // namespace
