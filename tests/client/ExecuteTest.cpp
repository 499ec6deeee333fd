// Commands and their results through the real Client-Library against the emulator.
#include "tests/support/ServerFixture.h"

#include "client/LogWriter.h"
#include "client/MessageHandlers.h"
#include "client/SessionRegistry.h"

#include <chrono>
#include <csignal>
#include <thread>

using namespace tvr::client;
using namespace tvr::client::testing;
using Strings = std::vector<std::string>;

namespace {

class Execute : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        // Dates and times in full, so that a lost time of day shows.
        tvr::platform::injectRegionalFormats(
            tvr::platform::RegionalFormats{"%d.%m.%Y", "%H:%M:%S", ':'});
        c = connect();
        ASSERT_EQ(c->RetCode(), CS_SUCCEED);
    }
    void TearDown() override {
        c.reset();
        ServerFixture::TearDown();
    }
    // Runs a long command and kills the server once it has begun (the trace shows it).
    void executeWhileTheServerDies() {
        std::thread killer([this] {
            for (int i = 0; i < 1200 && emulator->traceText().find("waitfor") == std::string::npos;
                 ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            emulator->signal(SIGKILL);
        });
        struct Join {
            std::thread& t;
            ~Join() { t.join(); }
        } join{killer};
        c->Execute("waitfor delay '00:01:00'");
    }
    std::unique_ptr<TSybaseConnect> c;
};

}  // namespace

TEST_F(Execute, RowResultIsKeptAsColumnTexts) {
    c->Execute("select name from master..sysdatabases order by name");
    EXPECT_EQ(c->ColCount(), 1);
    EXPECT_EQ(c->ColNames(), Strings{"name"});
    EXPECT_EQ(c->ColTexts(),
              Strings{"name\nmaster\nmodel\nsales\nsybsystemdb\nsybsystemprocs\ntempdb\n"});
    EXPECT_EQ(c->RowCount(), 6);
    EXPECT_EQ(c->RowCounter(), 7);  // 1 for the result, 1 for each row
    EXPECT_EQ(c->ColumnValues("name"),
              (Strings{"master", "model", "sales", "sybsystemdb", "sybsystemprocs", "tempdb"}));
    EXPECT_EQ(c->ValueByName("name").Value, "master");
    EXPECT_EQ(&c->ValueByName("other"), &c->Field());
    EXPECT_EQ(c->Field().Value, "");
    EXPECT_FALSE(std::filesystem::exists(dir / "act.log"));

    const auto headings = events.textsOf(EventHeadings);
    ASSERT_EQ(headings.size(), 1u);
    EXPECT_EQ(headings[0], "name\n");
    EXPECT_EQ(events.textsOf(EventRow).size(), 6u);
    EXPECT_EQ(events.textsOf(EventResultsEnd), Strings{""});

    // Clearing forgets the columns but not the counts.
    c->ClearResults();
    EXPECT_EQ(c->ColCount(), 0);
    EXPECT_TRUE(c->ColNames().empty());
    EXPECT_TRUE(c->ColTexts().empty());
    EXPECT_EQ(c->RowCount(), 6);
    EXPECT_EQ(c->RowCounter(), 7);
    EXPECT_EQ(c->ValueByName("name").Value, "");
}

TEST_F(Execute, UseMasterLeavesNoResult) {
    c->Execute("select name from master..sysdatabases");
    ASSERT_GT(c->ColCount(), 0);
    c->Execute("use master");
    EXPECT_EQ(c->ColCount(), 0);
    EXPECT_EQ(c->RowCount(), 0);
    EXPECT_EQ(c->RowCounter(), 0);
    EXPECT_TRUE(c->ColNames().empty());
    EXPECT_TRUE(c->ColTexts().empty());
    EXPECT_EQ(c->ValueByName("name").Value, "");
    EXPECT_FALSE(c->ServerError());
    EXPECT_FALSE(std::filesystem::exists(dir / "act.log"));
}

TEST_F(Execute, EmptyRowResultKeepsItsHeadings) {
    c->Execute("select name, dbid from master..sysdatabases where name = 'none'");
    EXPECT_EQ(c->ColCount(), 2);
    EXPECT_EQ(c->ColNames(), (Strings{"name", "dbid"}));
    EXPECT_EQ(c->ColTexts(), (Strings{"name\n", "dbid\n"}));
    EXPECT_EQ(c->RowCount(), 0);
    EXPECT_EQ(c->RowCounter(), 1);
    EXPECT_TRUE(c->ColumnValues("name").empty());
    EXPECT_EQ(c->ValueByName("name").Value, "");
}

TEST_F(Execute, OnlyTheLastOfTwoRowResultsRemains) {
    c->Execute("select 1 as a, 2 as b, 3 as c\nselect 'x' as d");
    EXPECT_EQ(c->ColCount(), 1);
    EXPECT_EQ(c->ColNames(), Strings{"d"});
    EXPECT_EQ(c->ColTexts(), Strings{"d\nx\n"});
    EXPECT_EQ(c->RowCount(), 1);
    EXPECT_EQ(c->ValueByName("a").Value, "");
}

TEST_F(Execute, ProcedureCallWithOnlyAStatusResult) {
    c->Execute("select name from master..sysdatabases");
    ASSERT_EQ(c->ReturnStatus(), 0);
    // The emulator's sp_helpdb answers an unknown database with a message and its status.
    c->Execute("exec sp_helpdb 'nosuch'");
    EXPECT_EQ(c->ColCount(), 0);
    EXPECT_EQ(c->RowCount(), 0);
    EXPECT_EQ(c->ReturnStatus(), 1);
    // A command without a status result leaves the last one in place.
    c->Execute("print 'no status'");
    EXPECT_EQ(c->ReturnStatus(), 1);
}

TEST_F(Execute, DatetimesReadAsTheUserWritesThem) {
    c->Execute("use sales");
    c->Execute("create table stamps (d datetime null, n int)");
    c->Execute("insert into stamps values ('1900-01-01 00:00:00', 1)");
    c->Execute("insert into stamps values ('2026-12-06 00:00:00', 2)");
    c->Execute("insert into stamps values ('2026-12-06 14:05:12', 3)");
    c->Execute("insert into stamps values (null, 4)");
    c->Execute("insert into stamps values ('1900-01-01 00:00:01', 5)");
    c->Execute("select d, n from stamps order by n");
    ASSERT_EQ(c->RowCount(), 5);
    // 1 January 1900 at midnight and NULL are empty; midnight gives the date alone.
    EXPECT_EQ(c->ColumnValues("d"),
              (Strings{"", "06.12.2026", "06.12.2026 14:05:12", "", "01.01.1900 00:00:01"}));
    EXPECT_FALSE(c->ServerError());
}

TEST_F(Execute, ValueByNameIsCaseSensitiveAndLineBreaksSplitValues) {
    c->Execute("select 0 as RunValue, 'first\nsecond' as Text, 'x' as Other");
    EXPECT_EQ(c->ValueByName("RunValue").Value, "0");
    EXPECT_EQ(c->ValueByName("RunValue").AsInteger(), 0);
    EXPECT_EQ(c->ValueByName("runvalue").Value, "");
    EXPECT_THROW(c->ValueByName("runvalue").AsInteger(), ConversionError);
    // The value spans two lines, so the columns no longer pair up row by row.
    EXPECT_EQ(c->ColTexts()[1], "Text\nfirst\nsecond\n");
    EXPECT_EQ(c->ColumnValues("Text"), (Strings{"first", "second"}));
    EXPECT_EQ(c->ColumnValues("Other"), Strings{"x"});
    EXPECT_EQ(c->RowCount(), 1);
}

TEST_F(Execute, NullsReadAsEmptyTextsAndTheFirstOfTwoNamesCounts) {
    c->Execute("use sales");
    c->Execute("create table maybe (v varchar(10) null, i int null, n int)");
    c->Execute("insert into maybe values ('x', 5, 1)");
    c->Execute("insert into maybe values (null, null, 2)");
    c->Execute("insert into maybe values ('y', 6, 3)");
    c->Execute("select v, i, n as v from maybe order by n");
    // A NULL never repeats the value of the row before it.
    EXPECT_EQ(c->ColumnValues("i"), (Strings{"5", "", "6"}));
    EXPECT_EQ(c->ColNames(), (Strings{"v", "i", "v"}));
    EXPECT_EQ(c->ColumnValues("v"), (Strings{"x", "", "y"}));
    EXPECT_EQ(c->ColTexts()[2], "v\n1\n2\n3\n");
    EXPECT_EQ(c->ValueByName("v").Value, "x");
}

TEST_F(Execute, ValueTooLongForItsBufferEndsTheReadingOfItsResult) {
    c->Execute("use sales");
    c->Execute("create table wide (v varchar(300), n int)");
    c->Execute("insert into wide values ('a', 1)");
    c->Execute("insert into wide values ('" + std::string(300, 'x') + "', 2)");
    c->Execute("insert into wide values ('b', 3)");
    c->Execute("select v, n from wide order by n\nselect 'after' as tail");
    // The second result is still read after the first stopped at its long row.
    EXPECT_EQ(c->ColTexts(), Strings{"tail\nafter\n"});
    c->Execute("select v from wide order by n");
    EXPECT_EQ(c->ColumnValues("v"), Strings{"a"});
    EXPECT_EQ(c->RowCount(), 1);
    c->Execute("select n from wide order by n");
    EXPECT_EQ(c->RowCount(), 3);
}

TEST_F(Execute, InformationalEntryAfterAnErrorRecordStartsOnALineOfItsOwn) {
    tvr::platform::injectRegionalFormats(fixedFormats());
    c->Execute("select * from nosuch\nprint 'after'");
    EXPECT_EQ(
        activity(),
        "\r\n$Err$\r\n$Err$Error: Time: 12:00:01;  number 208;  severity 16;  state 1;  "
        "line 1\r\n$Err$nosuch not found. Specify owner.objectname or use sp_help to check "
        "whether the object exists (sp_help may produce lots of output).\r\nafter  12:00:01\r\n");
    EXPECT_FALSE(c->ServerError());
    EXPECT_EQ(lastServerMessageText(), "after");
}

TEST_F(Execute, DroppedConnectionIsClosedByForceAndLaterCommandsAreNotSent) {
    // The server dies while it runs the command: ct_results fails, and as FreeTDS refuses a
    // cancel given both the connection and the command, the connection is closed by force.
    tvr::platform::injectRegionalFormats(fixedFormats());
    executeWhileTheServerDies();
    EXPECT_TRUE(c->Failed());
    EXPECT_EQ(c->Connection(), nullptr);
    EXPECT_EQ(c->ColCount(), 0);
    const std::string closed = "$Err$12:00:01 Unexpected Error! Connect failed!\r\n";
    ASSERT_TRUE(activity().ends_with(closed)) << activity();
    // Before it, the library's own report of the lost connection.
    EXPECT_EQ(activity().rfind("$Err$", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log"));

    const std::string before = activity();
    c->Execute("select 1");
    EXPECT_EQ(activity(), before + "$Err$НЕПРАВИЛЬНЫЙ ЗАПРОС: select 1");
    EXPECT_EQ(activityView.texts().back(), "НЕПРАВИЛЬНЫЙ ЗАПРОС: select 1");
    EXPECT_EQ(activityView.lines().back().colour, LogColour::Red);
    // The object still owns its registry entry, under no connection handle.
    EXPECT_EQ(sessionCount(), 1u);
    c.reset();
    EXPECT_FALSE(sessionRegistryExists());
}

TEST_F(Execute, ConnectionDroppedByTheServerDuringADumpIsClosedByForce) {
    tvr::platform::injectRegionalFormats(fixedFormats());
    c->Execute("emulator fault disconnect");
    ASSERT_FALSE(c->ServerError());
    c->Execute("dump database sales to \"" + path("sales.db") + "\"");
    EXPECT_TRUE(c->Failed());
    EXPECT_EQ(c->Connection(), nullptr);
    const std::string log = activity();
    // The library's report of the lost connection comes first, then the forced close.
    EXPECT_NE(log.find("\r\n$Err$"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("$Err$12:00:01 Unexpected Error! Connect failed!\r\n")) << log;
}

TEST_F(Execute, OwnEntryOnAnUnwritableLogRaisesToTheCaller) {
    c->SetLogFile(path("missing-folder/act.log"));
    EXPECT_THROW(executeWhileTheServerDies(), LogFileError);
    // The connection was closed all the same, and the command released.
    EXPECT_EQ(c->Connection(), nullptr);
    EXPECT_EQ(c->Command(), nullptr);
    EXPECT_THROW(c->Execute("select 1"), LogFileError);
}
