// The message handlers fed with constructed messages for a registered connection that is
// never connected: exact entries, which log, which flag, boxes and beeps.
#include "tests/support/ClientFixture.h"
#include "tests/support/ForkedChild.h"

#include "client/LogWriter.h"
#include "client/MessageHandlers.h"
#include "client/Sybase.h"

#include <cstring>
#include <memory>

using namespace tvr::client;
using namespace tvr::client::testing;

namespace {

CS_CLIENTMSG clientMessage(const std::string& text) {
    CS_CLIENTMSG m;
    std::memset(&m, 0, sizeof m);
    m.severity = 1;
    std::strncpy(m.msgstring, text.c_str(), sizeof m.msgstring - 1);
    std::strncpy(m.osstring, "os text", sizeof m.osstring - 1);
    m.osnumber = 104;
    return m;
}

class MessageHandlers : public ClientFixture {
protected:
    void SetUp() override {
        ClientFixture::SetUp();
        conn = std::make_unique<TSybaseConnect>("TVR_NOWHERE", "sa", "", path("act.log"),
                                                path("err.log"));
    }
    void TearDown() override {
        conn.reset();
        ClientFixture::TearDown();
    }
    CS_RETCODE server(CS_SERVERMSG m) {
        return ServerMessageHandler(conn->Context(), conn->Connection(), &m);
    }
    CS_RETCODE client(CS_CLIENTMSG m) {
        return ClientMessageHandler(conn->Context(), conn->Connection(), &m);
    }
    std::string activity() const { return readFile(dir / "act.log"); }
    std::string errors() const { return readFile(dir / "err.log"); }

    std::unique_ptr<TSybaseConnect> conn;
};

}  // namespace

TEST_F(MessageHandlers, InformationalMessagesGoToTheActivityLogWithTheirTime) {
    for (CS_INT severity : {1, 10, 13}) {
        conn->SetServerError(true);
        EXPECT_EQ(server(serverMessage(0, severity, "sev " + std::to_string(severity))),
                  CS_SUCCEED);
        EXPECT_FALSE(conn->ServerError());
    }
    // A text that ends with LF puts the stamp on the next line.
    server(serverMessage(0, 10, "Backup Server session id is: 9.\n"));
    EXPECT_EQ(activity(),
              "sev 1  12:00:01\r\nsev 10  12:00:01\r\nsev 13  12:00:01\r\n"
              "Backup Server session id is: 9.\n  12:00:01\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log"));
    EXPECT_EQ(prompts.beeps(), 0);
    EXPECT_EQ(events.textsOf(EventInformation).size(), 4u);
    EXPECT_EQ(activityView.texts().back(), "  12:00:01");
}

TEST_F(MessageHandlers, ChangeOfDatabaseIsNotLoggedButStillCounts) {
    conn->SetServerError(true);
    server(serverMessage(5701, 10, "Changed database context to 'master'."));
    EXPECT_FALSE(std::filesystem::exists(dir / "act.log"));
    EXPECT_FALSE(conn->ServerError());
    EXPECT_EQ(LastServerMessage().msgnumber, 5701);
    EXPECT_EQ(events.textsOf(EventInformation).size(), 1u);
}

TEST_F(MessageHandlers, ProcedureNoticeIsARecordWithoutErrorOrBeep) {
    server(serverMessage(2007, 11,
                         "Cannot add rows to sysdepends for the current stored "
                         "procedure because it depends on the missing object."));
    EXPECT_FALSE(conn->ServerError());
    EXPECT_EQ(prompts.beeps(), 0);
    EXPECT_NE(activity().find("\r\n$Mess$Error: Time: 12:00:01;  number 2007;  severity 11"),
              std::string::npos);
    EXPECT_EQ(activity(), errors());
    EXPECT_EQ(activityView.lines().front().colour, LogColour::Green);
    // 2007 at another severity is an error like any other.
    server(serverMessage(2007, 16, "x"));
    EXPECT_TRUE(conn->ServerError());
}

TEST_F(MessageHandlers, FailedLoginWritesTheSameRecordToBothLogsBeforeItsBoxShows) {
    server(serverMessage(4002, 14, "Login failed.\n"));
    const std::string record =
        "\r\n$Err$\r\n$Err$Error: Time: 12:00:01;  number 4002;  severity 14;  state 1;  line 1"
        "\r\n$Err$Login failed.";
    EXPECT_EQ(activity(), record);
    EXPECT_EQ(errors(), record);
    EXPECT_TRUE(conn->ServerError());
    expectOneErrorBox("Unable establish connection");
    // Two records, two beeps, both before the box; the activity view shows it once, the error
    // view once.
    EXPECT_EQ(prompts.beeps(), 2);
    EXPECT_EQ(prompts.calls().back().kind, tvr::platform::PromptCall::Kind::MessageBox);
    EXPECT_EQ(activityView.lines().size(), 3u);
    EXPECT_EQ(errorView.lines().size(), 3u);
}

TEST_F(MessageHandlers, OtherSeveritiesAreErrorRecordsInBothLogs) {
    // 4002 shows its box only at severity 14, and 5701 is left out only when informational.
    const std::vector<std::pair<CS_INT, CS_INT>> messages{
        {100, 0},  {100, 2},  {100, 9},  {100, 11}, {100, 12},  {100, 14},
        {100, 15}, {100, 16}, {100, 24}, {100, -1}, {4002, 16}, {5701, 16}};
    std::string expected;
    for (const auto& [number, severity] : messages) {
        conn->SetServerError(false);
        server(serverMessage(number, severity, "e"));
        EXPECT_TRUE(conn->ServerError()) << number << " at " << severity;
        expected += "\r\n$Err$\r\n$Err$Error: Time: 12:00:01;  number " + std::to_string(number) +
                    ";  severity " + std::to_string(severity) + ";  state 1;  line 1\r\n$Err$e";
    }
    EXPECT_EQ(activity(), expected);
    EXPECT_EQ(errors(), expected);
    EXPECT_EQ(prompts.beeps(), 2 * static_cast<int>(messages.size()));
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(events.textsOf(EventErrorHeading).size(), 2 * messages.size());
    EXPECT_TRUE(events.textsOf(EventInformation).empty());
}

TEST_F(MessageHandlers, InformationalEntryAfterAnErrorRecordStartsOnALineOfItsOwn) {
    server(serverMessage(208, 16, "sp_nothing not found."));
    server(serverMessage(0, 10, "done"));
    EXPECT_EQ(activity(),
              "\r\n$Err$\r\n$Err$Error: Time: 12:00:01;  number 208;  severity 16;  state 1;  "
              "line 1\r\n$Err$sp_nothing not found.\r\ndone  12:00:01\r\n");
}

TEST_F(MessageHandlers, ClientMessagesGoToTheActivityLogOnly) {
    conn->SetServerError(true);
    EXPECT_EQ(client(clientMessage("ct_connect(): network packet layer: internal net library "
                                   "error: Net-Lib protocol driver call to connect two "
                                   "endpoints failed")),
              CS_SUCCEED);
    client(clientMessage("ends with a line feed\n"));
    EXPECT_EQ(activity(),
              "$Err$ct_connect(): network packet layer: internal net library error: "
              "Net-Lib protocol driver call to connect two endpoints failed\r\n"
              "$Err$ends with a line feed\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log"));
    EXPECT_TRUE(conn->ServerError());
    EXPECT_TRUE(prompts.calls().empty());
    EXPECT_EQ(activityView.lines().front().colour, LogColour::Red);
    EXPECT_TRUE(errorView.lines().empty());
}

TEST_F(MessageHandlers, UnwritableLogKeepsTheMessagesWithoutABoxAndWritesThemWithTheNextOne) {
    std::filesystem::create_directory(dir / "act.log");
    EXPECT_EQ(server(serverMessage(0, 10, "lost")), CS_SUCCEED);
    EXPECT_EQ(server(serverMessage(911, 16, "lost error")), CS_SUCCEED);
    EXPECT_EQ(client(clientMessage("lost client")), CS_SUCCEED);
    EXPECT_TRUE(prompts.boxes().empty());
    // The error record stops at the activity log, so the error log gets nothing either.
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log"));
    std::filesystem::remove(dir / "act.log");
    server(serverMessage(0, 10, "kept"));
    EXPECT_EQ(activity(),
              "lost  12:00:01\r\n\r\n$Err$\r\n$Err$Error: Time: 12:00:01;  number 911;  "
              "severity 16;  state 1;  line 1\r\n$Err$lost error$Err$lost client\r\n"
              "kept  12:00:01\r\n");
}

TEST_F(MessageHandlers, ReadOnlyLogFileDropsTheMessageSilently) {
    PrintToLog("before", conn->LogFile());
    std::filesystem::permissions(dir / "act.log", std::filesystem::perms::owner_read);
    // Root writes to read-only files, so the message comes in a child that runs as an
    // unprivileged user owning the folder and the file.
    tvr::testing::giveToUnprivilegedUser(dir);
    const auto status = tvr::testing::runInChild(
        [&] {
            if (server(serverMessage(0, 10, "lost")) != CS_SUCCEED) return 1;
            return prompts.boxes().empty() ? 0 : 2;
        },
        tvr::testing::ChildPrivileges::Drop);
    EXPECT_TRUE(tvr::testing::exitedWith(status, 0)) << (status ? *status : -1);
    EXPECT_EQ(activity(), "before\r\n");
    std::filesystem::permissions(dir / "act.log", std::filesystem::perms::owner_all);
    server(serverMessage(0, 10, "kept"));
    EXPECT_EQ(activity(), "before\r\nkept  12:00:01\r\n");
}

TEST_F(MessageHandlers, EmptyErrorLogNameKeepsErrorsInTheActivityLog) {
    conn->SetErrorLogFile("");
    server(serverMessage(911, 16, "x"));
    EXPECT_NE(activity().find("$Err$x"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
    conn->SetLogFile("");
    server(serverMessage(0, 10, "nowhere"));
    client(clientMessage("nowhere"));
    EXPECT_EQ(activity().find("nowhere"), std::string::npos);
}

TEST_F(MessageHandlers, MessagesOfUnknownConnectionsAreNotLoggedButRemembered) {
    CS_SERVERMSG m = serverMessage(3, 16, "from elsewhere");
    EXPECT_EQ(ServerMessageHandler(nullptr, nullptr, &m), CS_SUCCEED);
    EXPECT_EQ(lastServerMessageText(), "from elsewhere");
    CS_CLIENTMSG c = clientMessage("nobody");
    EXPECT_EQ(ClientMessageHandler(nullptr, nullptr, &c), CS_SUCCEED);
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_EQ(prompts.beeps(), 0);
    EXPECT_EQ(LibraryMessageHandler(nullptr, &c), CS_FAIL);
}

TEST_F(MessageHandlers, FullLengthTextIsTakenUpToItsLimit) {
    CS_SERVERMSG m = serverMessage(0, 10, "");
    std::memset(m.text, 'a', sizeof m.text);  // no terminating zero at all
    server(m);
    EXPECT_EQ(activity(), std::string(CS_MAX_MSG, 'a') + "  12:00:01\r\n");
}
