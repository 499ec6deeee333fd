// Connections to the emulator through the real Client-Library: logons, message routing to
// each connection's log files, and the registry behind them.
#include "tests/support/ServerFixture.h"

#include "client/MessageHandlers.h"
#include "client/SessionRegistry.h"

#include <csignal>
#include <thread>

using namespace tvr::client;
using namespace tvr::client::testing;

using Connection = ServerFixture;

TEST_F(Connection, TwoConnectionsLogUnderTheirOwnFilesAndOutliveEachOther) {
    tvr::testing::Emulator reserveServer("TVRRESERVE");
    auto main = std::make_unique<TSybaseConnect>("TVRMAIN", "sa", "", path("main.log"),
                                                 path("mainerr.log"));
    auto reserve = std::make_unique<TSybaseConnect>("TVRRESERVE", "sa", "", path("res.log"),
                                                    path("reserr.log"));
    ASSERT_EQ(main->Connect(), CS_SUCCEED);
    ASSERT_EQ(reserve->Connect(), CS_SUCCEED);
    EXPECT_FALSE(main->Failed());
    EXPECT_NE(main->Context(), reserve->Context());
    EXPECT_EQ(sessionCount(), 2u);

    main->Execute("print 'on main'");
    reserve->Execute("print 'on reserve'");
    reserve->Execute("select * from nosuch");
    EXPECT_EQ(readFile(dir / "main.log"), "on main  12:00:01\r\n");
    EXPECT_TRUE(reserve->ServerError());
    EXPECT_FALSE(main->ServerError());
    EXPECT_EQ(readFile(dir / "res.log").rfind("on reserve  12:00:01\r\n\r\n$Err$\r\n$Err$Error", 0),
              0u);
    EXPECT_NE(readFile(dir / "reserr.log").find("$Err$nosuch not found."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "mainerr.log"));

    main.reset();  // the older one first
    reserve->Execute("print 'still here'");
    EXPECT_TRUE(readFile(dir / "res.log").ends_with("still here  12:00:01\r\n"));
    EXPECT_FALSE(readFile(dir / "main.log").ends_with("still here  12:00:01\r\n"));

    reserve.reset();
    EXPECT_FALSE(sessionRegistryExists());
    auto again = connect();
    EXPECT_TRUE(sessionRegistryExists());
    again->Execute("print 'again'");
    EXPECT_EQ(activity(), "again  12:00:01\r\n");
}

TEST_F(Connection, LogonMessagesAreLoggedOnlyWhenTheyMatter) {
    auto c = connect();
    ASSERT_EQ(c->RetCode(), CS_SUCCEED);
    // The logon's change of database context (5701) is not logged.
    EXPECT_FALSE(std::filesystem::exists(dir / "act.log"));
    EXPECT_EQ(LastServerMessage().msgnumber, 5701);
    EXPECT_TRUE(prompts.calls().empty());
}

TEST_F(Connection, FailedLoginShowsTheBoxAndWritesTheRecordByteForByte) {
    auto c = connect("wrong password");
    EXPECT_NE(c->RetCode(), CS_SUCCEED);
    EXPECT_TRUE(c->Failed());
    const std::string record =
        "\r\n$Err$"
        "\r\n$Err$Error: Time: 12:00:01;  number 4002;  severity 14;  state 1;  line 1"
        "\r\n$Err$Login failed.";
    EXPECT_EQ(activity(), record);
    EXPECT_EQ(errors(), record);
    expectOneErrorBox("Unable establish connection");
    EXPECT_EQ(prompts.beeps(), 2);
    // A connection that did not connect is still a whole object and goes away normally.
    c.reset();
    EXPECT_FALSE(sessionRegistryExists());
}

TEST_F(Connection, UnknownServerNameFailsWithClientMessagesOnly) {
    TSybaseConnect c("TVR_NO_SUCH_SERVER", "sa", "", path("act.log"), path("err.log"));
    EXPECT_NE(c.Connect(), CS_SUCCEED);
    EXPECT_TRUE(c.Failed());
    const std::string log = activity();
    EXPECT_EQ(log.rfind("$Err$", 0), 0u) << log;
    EXPECT_TRUE(log.ends_with("\r\n")) << log;
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log"));
    EXPECT_TRUE(prompts.calls().empty());
    EXPECT_FALSE(c.ServerError());
}

TEST_F(Connection, EmptyLogFileNamesWriteNothing) {
    TSybaseConnect c("TVRMAIN", "sa", "", "", "");
    ASSERT_EQ(c.Connect(), CS_SUCCEED);
    c.Execute("print 'not written'");
    c.Execute("select * from nosuch");
    c.Execute("select name from master..sysdatabases where name = 'master'");
    EXPECT_EQ(c.ValueByName("name").Value, "master");
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(Connection, UnwritableLogKeepsItsMessagesWithoutABoxUntilItCanBeWritten) {
    auto c = connect();
    std::filesystem::create_directory(dir / "act.log");
    c->Execute("print 'lost'");
    c->Execute("select * from nosuch");
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_TRUE(c->ServerError());
    std::filesystem::remove(dir / "act.log");
    c->Execute("print 'kept'");
    EXPECT_EQ(activity().rfind("lost  12:00:01\r\n", 0), 0u) << activity();
    EXPECT_TRUE(activity().ends_with("kept  12:00:01\r\n")) << activity();
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log"));
}

TEST_F(Connection, WorkerThreadUsesTheConnectionsOfTheInterfaceThread) {
    auto c = connect();
    std::thread worker([&c] {
        c->Execute("print 'from the worker'");
        c->Execute("select * from nosuch");
    });
    worker.join();
    EXPECT_EQ(activity().rfind("from the worker  12:00:01\r\n\r\n$Err$\r\n$Err$Error", 0), 0u);
    EXPECT_NE(errors().find("nosuch not found."), std::string::npos);
    EXPECT_TRUE(c->ServerError());
    EXPECT_EQ(activityView.texts().front(), "from the worker  12:00:01");
}

TEST_F(Connection, ASessionTheServerDroppedIsSeenDeadAndOpensAgainInPlaceWithTheSameLogon) {
    tvr::testing::EmulatorOptions options;
    options.name = "TVRSECRET";
    options.logins = {"keeper:s3cret"};
    tvr::testing::Emulator server(options);
    auto first = std::make_unique<TSybaseConnect>("TVRSECRET", "keeper", "s3cret", path("k.log"),
                                                  path("kerr.log"));
    first->SetProperty(CS_APPNAME, "Ulmaris");
    ASSERT_EQ(first->Connect(), CS_SUCCEED);
    EXPECT_FALSE(first->ConnectionDead());

    // A procedure's status is counted, so a caller sees whether a command returned one.
    const auto statuses = first->StatusResults();
    first->Execute("exec sp_who");
    EXPECT_EQ(first->StatusResults(), statuses + 1);
    first->Execute("exec sp_nosuch");
    EXPECT_EQ(first->StatusResults(), statuses + 1);
    EXPECT_EQ(first->LastServerErrorNumber(), 2812);

    server.stop();
    server.start();
    first->Execute("select 1");
    EXPECT_TRUE(first->ConnectionDead());

    ASSERT_TRUE(first->Reconnect());
    EXPECT_FALSE(first->ConnectionDead());
    first->Execute("select app_name(), suser_name()");
    EXPECT_EQ(first->ColTexts(), (std::vector<std::string>{"\nUlmaris\n", "\nkeeper\n"}));
    EXPECT_EQ(sessionCount(), 1u);
    // Messages of the new session reach the same files.
    first->Execute("print 'back'");
    EXPECT_TRUE(readFile(dir / "k.log").ends_with("back  12:00:01\r\n"));
}

// A call to a server that says nothing at all (stopped with SIGSTOP) is abandoned at its
// limit: the cancel gets no answer either, and the connection is given up soon after, so
// the caller's reconnect path takes over; the library's words are in the activity log.
TEST_F(Connection, ACallWithoutAnAnswerIsAbandonedAtItsLimit) {
    auto c = connect();
    c->SetCallLimit(2);
    emulator->signal(SIGSTOP);
    const auto began = std::chrono::steady_clock::now();
    c->Execute("select 1");
    const auto took = std::chrono::steady_clock::now() - began;
    emulator->signal(SIGCONT);
    EXPECT_GE(took, std::chrono::seconds(2));
    EXPECT_LT(took, std::chrono::seconds(2 + kCancelWaitSeconds + 20));
    EXPECT_EQ(c->TakeAbandonedCall(), "select 1");
    EXPECT_EQ(c->TakeAbandonedCall(), std::nullopt);
    EXPECT_TRUE(c->ConnectionDead());
    EXPECT_NE(activity().find("$Err$"), std::string::npos) << activity();
}
