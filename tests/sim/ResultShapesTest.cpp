// The result shapes the program's command execution relies on, seen through libct: no result,
// an empty row result, two row results in one batch, datetime and NULL values, messages between
// rows, return status, row counts, and the errors of statements the server rejects.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtBatch;
using tvr::testing::CtClient;
using tvr::testing::CtEvent;
using tvr::testing::Emulator;

namespace {

class ResultShapes : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Emulator("SHAPES", {"pubs2"}); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(client_.connect("SHAPES"));
        client_.serverMessages.clear();
    }

    static Emulator* server_;
    CtClient client_;
};

Emulator* ResultShapes::server_ = nullptr;

std::string kinds(const CtBatch& batch) {
    std::string text;
    for (const CtEvent& event : batch.events) {
        switch (event.kind) {
            case CtEvent::Kind::Message:
                text += "M" + std::to_string(event.message.number) + " ";
                break;
            case CtEvent::Kind::RowResult:
                text += "R" + std::to_string(event.result.rows.size()) + " ";
                break;
            case CtEvent::Kind::Status:
                text += "S" + std::to_string(event.status) + " ";
                break;
            case CtEvent::Kind::CommandDone:
                text += "D ";
                break;
            case CtEvent::Kind::CommandFailed:
                text += "F ";
                break;
        }
    }
    return text;
}

}  // namespace

TEST_F(ResultShapes, UseGivesNoRowResultAndTheContextMessage) {
    CtBatch batch = client_.execute("use pubs2");
    EXPECT_EQ(kinds(batch), "M5701 D ");
    EXPECT_EQ(batch.messages()[0].text, "Changed database context to 'pubs2'.\n");
    EXPECT_EQ(batch.lastResultsCode, CS_END_RESULTS);
    auto results = client_.execute("select db_name()").rowResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rows.at(0).at(0), "pubs2");
}

TEST_F(ResultShapes, UnknownDatabaseGives911AndKeepsTheContext) {
    client_.execute("use pubs2");
    CtBatch batch = client_.execute("use nosuchdb");
    ASSERT_EQ(batch.messages().size(), 1u);
    EXPECT_EQ(batch.messages()[0].number, 911);
    EXPECT_EQ(batch.messages()[0].severity, 11);
    EXPECT_NE(batch.messages()[0].text.find("'nosuchdb'"), std::string::npos);
    EXPECT_TRUE(batch.failed());
    EXPECT_EQ(client_.execute("select db_name()").rowResults().at(0).rows.at(0).at(0), "pubs2");
}

TEST_F(ResultShapes, DatabaseListIsTheCatalogInNameOrder) {
    auto results =
        client_.execute("select name from master..sysdatabases order by name").rowResults();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].columns.size(), 1u);
    EXPECT_EQ(results[0].columns[0].name, "name");
    std::vector<std::string> names;
    for (const auto& row : results[0].rows) names.push_back(row.at(0).value_or("NULL"));
    EXPECT_EQ(names, (std::vector<std::string>{"master", "model", "pubs2", "sybsystemdb",
                                               "sybsystemprocs", "tempdb"}));
}

TEST_F(ResultShapes, EmptyRowResultKeepsItsColumns) {
    client_.execute("use pubs2 create table empty_t (id int, label varchar(20))");
    CtBatch batch = client_.execute("select id, label from empty_t");
    auto results = batch.rowResults();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].columns.size(), 2u);
    EXPECT_EQ(results[0].columns[0].name, "id");
    EXPECT_EQ(results[0].columns[1].name, "label");
    EXPECT_TRUE(results[0].rows.empty());
    EXPECT_EQ(kinds(batch), "R0 D ");
    EXPECT_EQ(batch.events.back().rowCount, 0);
}

TEST_F(ResultShapes, TwoRowResultsInOneBatchArriveInOrder) {
    CtBatch batch = client_.execute(
        "select name from master..sysdatabases where name = 'master'\n"
        "select 1 as one, 2 as two");
    auto results = batch.rowResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].columns.size(), 1u);
    EXPECT_EQ(results[0].rows.at(0).at(0), "master");
    ASSERT_EQ(results[1].columns.size(), 2u);
    EXPECT_EQ(results[1].columns[1].name, "two");
    EXPECT_EQ(results[1].rows.at(0).at(1), "2");
    EXPECT_EQ(kinds(batch), "R1 D R1 D ");
}

TEST_F(ResultShapes, ColumnTypesValuesAndNulls) {
    client_.execute("use pubs2");
    CtBatch setup = client_.execute(
        "create table typed (c char(5), v varchar(30), i int, s smallint, t tinyint, f float, d datetime)\n"
        "insert typed values ('ab', 'hello world', -2147483648, -32768, 255, 2.5, '1900-01-01')\n"
        "insert into typed values ('xyz', '', 2147483647, 32767, 0, -0.125, 'Dec 7 2026 10:11:12.500PM')\n"
        "insert typed values (null, null, null, null, null, null, null)");
    EXPECT_FALSE(setup.failed()) << kinds(setup);
    auto results = client_.execute("select c, v, i, s, t, f, d from typed").rowResults();
    ASSERT_EQ(results.size(), 1u);
    const auto& columns = results[0].columns;
    ASSERT_EQ(columns.size(), 7u);
    EXPECT_EQ(columns[0].type, CS_CHAR_TYPE);
    EXPECT_EQ(columns[2].type, CS_INT_TYPE);
    EXPECT_EQ(columns[3].type, CS_SMALLINT_TYPE);
    EXPECT_EQ(columns[4].type, CS_TINYINT_TYPE);
    EXPECT_EQ(columns[5].type, CS_FLOAT_TYPE);
    EXPECT_EQ(columns[6].type, CS_DATETIME_TYPE);
    const auto& rows = results[0].rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "ab");
    EXPECT_EQ(rows[0][1], "hello world");
    EXPECT_EQ(rows[0][2], "-2147483648");
    EXPECT_EQ(rows[0][3], "-32768");
    EXPECT_EQ(rows[0][4], "255");
    EXPECT_EQ(rows[0][5], "2.5");
    EXPECT_EQ(rows[0][6], "0:0");  // 1 January 1900 at midnight
    // An empty varchar travels as one blank, as on the real server.
    EXPECT_EQ(rows[1][1], " ");
    EXPECT_EQ(rows[1][5], "-0.125");
    // 7 December 2026 is day 46361 after 1 January 1900; 22:11:12.5 is 79 872.5 s.
    EXPECT_EQ(rows[1][6], "46361:23961750");
    for (const auto& value : rows[2]) EXPECT_FALSE(value.has_value());
}

TEST_F(ResultShapes, SmalldatetimeValuesAreSentToTheMinute) {
    const std::pair<const char*, const char*> cases[] = {
        {"1900-01-01 00:00:29.996", "0:0"},
        {"1900-01-01 00:00:30", "0:18000"},  // three hundred ticks a second
        {"1900-01-01 23:59:45", "1:0"},
    };
    ASSERT_FALSE(client_.execute("create table tempdb..minutes (n int, d smalldatetime)").failed());
    int n = 0;
    for (const auto& [literal, shown] : cases)
        ASSERT_FALSE(client_
                         .execute("insert tempdb..minutes values (" + std::to_string(++n) + ", '" +
                                  literal + "')")
                         .failed());
    const auto results = client_.execute("select d from tempdb..minutes order by n").rowResults();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(results[0].rows[i].at(0), cases[i].second) << cases[i].first;
}

TEST_F(ResultShapes, GetdateIsADatetimeOfToday) {
    auto results = client_.execute("select getdate()").rowResults();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].columns.size(), 1u);
    EXPECT_EQ(results[0].columns[0].type, CS_DATETIME_TYPE);
    EXPECT_EQ(results[0].columns[0].name, "");
    std::string value = results[0].rows.at(0).at(0).value_or("");
    int days = std::stoi(value.substr(0, value.find(':')));
    std::time_t now = std::time(nullptr);
    int expected = static_cast<int>(now / 86400) + 25567;  // 1900-01-01 to 1970-01-01
    EXPECT_NEAR(days, expected, 1);
}

TEST_F(ResultShapes, GetdateStaysADatetimeUnderAnAlias) {
    auto results = client_.execute("select getdate() as now, 1 as one, getdate() later, 'x' + 'y'")
                       .rowResults();
    ASSERT_EQ(results.size(), 1u);
    const auto& columns = results[0].columns;
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[0].type, CS_DATETIME_TYPE);
    EXPECT_EQ(columns[0].name, "now");
    EXPECT_EQ(columns[1].type, CS_INT_TYPE);
    EXPECT_EQ(columns[2].type, CS_DATETIME_TYPE);
    EXPECT_EQ(columns[2].name, "later");
    EXPECT_EQ(columns[3].name, "");
    EXPECT_EQ(results[0].rows.at(0).at(3), "xy");
    // Every getdate() of one statement gives the same moment.
    EXPECT_EQ(results[0].rows.at(0).at(0), results[0].rows.at(0).at(2));
}

TEST_F(ResultShapes, HeadingsGivenExplicitlyAreKeptWithTheirBlanks) {
    auto results =
        client_
            .execute(
                "select 1 as \"Run Value\", 'x' 'Config Value', "
                "count(*) as [Row Count], 2 two, 3, 2 + 2, case when 1 = 1 then 1 else 0 end "
                "from master..sysdatabases")
            .rowResults();
    ASSERT_EQ(results.size(), 1u);
    std::vector<std::string> headings;
    for (const auto& column : results[0].columns) headings.push_back(column.name);
    EXPECT_EQ(headings, (std::vector<std::string>{"Run Value", "Config Value", "Row Count", "two",
                                                  "", "", ""}));
    auto single = client_.execute("select 'on' as 'Run Value'").rowResults();
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].columns.at(0).name, "Run Value");
    EXPECT_EQ(single[0].rows.at(0).at(0), "on");
}

TEST_F(ResultShapes, TheServersStringFunctionsExist) {
    auto row =
        client_
            .execute(
                "select replicate('ab', 3), charindex('c', 'abcd'), charindex('z', 'abcd'), "
                "str_replace('a-b-c', '-', '+'), char_length('four'), isnull(null, 'fallback'), "
                "len(replicate('x', 100000))")
            .rowResults()
            .at(0)
            .rows.at(0);
    EXPECT_EQ(row, (std::vector<std::optional<std::string>>{"ababab", "3", "0", "a+b+c", "4",
                                                            "fallback", "16384"}));
}

TEST_F(ResultShapes, MessagesArriveBetweenRowResultsInOrder) {
    CtBatch batch = client_.execute(
        "print 'before'\n"
        "select 1\n"
        "print 'between %1! and %2!', 'one', 2\n"
        "select 2\n"
        "print \"after\"");
    EXPECT_EQ(kinds(batch), "M0 D R1 D M0 D R1 D M0 D ");
    auto printed = batch.messages();
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(printed[0].text, "before");
    EXPECT_EQ(printed[1].text, "between one and 2");
    EXPECT_EQ(printed[1].severity, 10);
    EXPECT_EQ(printed[1].line, 3);
    EXPECT_EQ(printed[2].text, "after");
}

TEST_F(ResultShapes, ProcedureReturnStatusWithAndWithoutRows) {
    CtBatch missing = client_.execute("exec sp_helpdb nosuchdb");
    EXPECT_EQ(missing.statuses(), std::vector<int>{1});
    ASSERT_EQ(missing.messages().size(), 1u);
    EXPECT_EQ(missing.messages()[0].number, 15010);
    EXPECT_EQ(missing.messages()[0].procedure, "sp_helpdb");
    EXPECT_TRUE(missing.rowResults().empty());

    CtBatch found = client_.execute("execute sp_helpdb @dbname = 'pubs2'");
    EXPECT_EQ(found.statuses(), std::vector<int>{0});
    auto results = found.rowResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rows.at(0).at(0), "pubs2");

    CtBatch unknown = client_.execute("exec sp_nosuchproc");
    ASSERT_EQ(unknown.messages().size(), 1u);
    EXPECT_EQ(unknown.messages()[0].number, 2812);
    EXPECT_EQ(unknown.messages()[0].severity, 16);
}

TEST_F(ResultShapes, ChangedRowsAreCounted) {
    client_.execute("use pubs2 create table counted (n int)");
    CtBatch insert = client_.execute(
        "insert counted values (1) insert counted values (2) insert counted select n from counted");
    ASSERT_EQ(insert.events.size(), 3u) << kinds(insert);
    EXPECT_EQ(insert.events[0].rowCount, 1);
    EXPECT_EQ(insert.events[2].rowCount, 2);
    CtBatch update = client_.execute("update counted set n = n + 10 where n > 1");
    EXPECT_EQ(update.events.back().rowCount, 2);
    CtBatch remove = client_.execute("delete counted where n > 0");
    EXPECT_EQ(remove.events.back().rowCount, 4);
}

TEST_F(ResultShapes, RejectedStatementsGiveServerErrors) {
    CtBatch syntax = client_.execute("select 1\nselect from where\nselect 3");
    auto messages = syntax.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].number, 102);
    EXPECT_EQ(messages[0].severity, 15);
    EXPECT_EQ(messages[0].line, 2);
    EXPECT_NE(messages[0].text.find("Incorrect syntax near"), std::string::npos);
    EXPECT_EQ(syntax.rowResults().size(), 1u);  // the batch stops at the syntax error
    EXPECT_TRUE(syntax.failed());

    CtBatch unknown = client_.execute("select * from no_such_table");
    ASSERT_EQ(unknown.messages().size(), 1u);
    EXPECT_EQ(unknown.messages()[0].number, 208);
    EXPECT_EQ(unknown.messages()[0].severity, 16);
    EXPECT_EQ(unknown.messages()[0].text.rfind("no_such_table not found.", 0), 0u);

    CtBatch quote = client_.execute("select 'unclosed");
    ASSERT_EQ(quote.messages().size(), 1u);
    EXPECT_EQ(quote.messages()[0].number, 105);

    CtBatch variable = client_.execute("select @undeclared");
    ASSERT_EQ(variable.messages().size(), 1u);
    EXPECT_EQ(variable.messages()[0].number, 137);

    // After all of it the connection still serves.
    EXPECT_EQ(client_.execute("select 5").rowResults().at(0).rows.at(0).at(0), "5");
}

TEST_F(ResultShapes, LargeResultsStreamWithTheTypesOfTheirFirstRows) {
    CtBatch setup = client_.execute(
        "use pubs2 create table ten (d int) "
        "insert ten values (0) insert ten values (1) insert ten values (2) insert ten values (3) "
        "insert ten values (4) insert ten values (5) insert ten values (6) insert ten values (7) "
        "insert ten values (8) insert ten values (9) "
        "create table big (n int, label varchar(8)) "
        "insert big select a.d * 1000 + b.d * 100 + c.d * 10 + e.d, 'n' || (a.d * 1000 + b.d * 100 + c.d * 10 + e.d) "
        "from ten a, ten b, ten c, ten e");
    ASSERT_FALSE(setup.failed());
    EXPECT_EQ(setup.events.back().rowCount, 10000);
    CtBatch all = client_.execute("select n, label, case when n < 5000 then 'short' else '" +
                                  std::string(300, 'x') + "' end as computed from big order by n");
    auto results = all.rowResults();
    ASSERT_EQ(results.size(), 1u);
    const auto& rows = results[0].rows;
    ASSERT_EQ(rows.size(), 10000u);
    EXPECT_EQ(rows[0][0], "0");
    EXPECT_EQ(rows[9999][0], "9999");
    EXPECT_EQ(rows[9999][1], "n9999");
    EXPECT_EQ(all.events.back().rowCount, 10000);
    // The computed column was typed on its first thousand values: 255 characters wide, and
    // longer values later on are cut to that.
    EXPECT_EQ(results[0].columns[2].maxLength, 255);
    EXPECT_EQ(rows[9999][2], std::string(255, 'x'));
}

TEST_F(ResultShapes, ResultsTooWideToDescribeAreRefusedNotCut) {
    std::string select = "select 1";
    for (int i = 0; i < 400; ++i)  // 400 descriptions of about 212 bytes
        select += ", " + std::to_string(i) + " as " + std::string(200, 'c') + std::to_string(i);
    CtBatch batch = client_.execute(select);
    EXPECT_TRUE(batch.rowResults().empty());
    ASSERT_EQ(batch.messages().size(), 1u);
    EXPECT_EQ(batch.messages()[0].severity, 16);
    EXPECT_EQ(client_.execute("select 1").rowResults().size(), 1u);
}

TEST_F(ResultShapes, TransactionsCommitAndRollBack) {
    client_.execute("use pubs2 create table tx (n int)");
    client_.execute("begin tran insert tx values (1) rollback tran");
    client_.execute("begin transaction insert tx values (2) commit transaction");
    auto rows = client_.execute("select n from tx").rowResults().at(0).rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "2");
    CtBatch moving = client_.execute("begin tran insert tx values (3) use master");
    ASSERT_EQ(moving.messages().size(), 1u);
    EXPECT_EQ(moving.messages()[0].number, 226);
    client_.execute("rollback");
    EXPECT_EQ(client_.execute("select db_name()").rowResults().at(0).rows.at(0).at(0), "pubs2");
    CtBatch stray = client_.execute("commit");
    ASSERT_EQ(stray.messages().size(), 1u);
    EXPECT_EQ(stray.messages()[0].number, 3902);
}

namespace {

TEST_F(ResultShapes, ConvertFollowsTheServersRules) {
    struct Case {
        const char* expression;
        std::optional<std::string> value;  // nothing: NULL
        int error;                         // 0: none
    };
    const Case cases[] = {
        {"convert(varchar(2), 'abc')", "ab", 0},
        {"convert(char(4), 'a')", "a   ", 0},
        {"convert(int, null)", std::nullopt, 0},
        {"convert(int, ' 12 ')", "12", 0},
        {"convert(int, 7.9)", "7", 0},
        {"convert(bit, 5)", "1", 0},
        {"convert(varchar(10), 12)", "12", 0},
        {"convert(int, 'x')", std::nullopt, 249},
        {"convert(int, '1.5')", std::nullopt, 249},
        {"convert(nosuchtype, 1)", std::nullopt, 243},
    };
    for (const Case& c : cases) {
        const CtBatch batch = client_.execute(std::string("select ") + c.expression);
        if (c.error != 0) {
            bool found = false;
            for (const auto& m : batch.messages()) found = found || m.number == c.error;
            EXPECT_TRUE(found) << c.expression;
            continue;
        }
        ASSERT_EQ(batch.rowResults().size(), 1u) << c.expression;
        EXPECT_EQ(batch.rowResults()[0].rows.at(0).at(0), c.value) << c.expression;
    }
}

}  // namespace

namespace {

TEST_F(ResultShapes, FmtonlySendsTheFormatWithoutRowsAndNameEqualsNamesTheColumn) {
    // freebcp and datacopy ask for a table's format this way and wait for it.
    const CtBatch format = client_.execute(
        "set fmtonly on select name, dbid from master..sysdatabases set fmtonly off");
    ASSERT_EQ(format.rowResults().size(), 1u);
    EXPECT_EQ(format.rowResults()[0].columns.size(), 2u);
    EXPECT_TRUE(format.rowResults()[0].rows.empty());
    EXPECT_FALSE(format.failed());
    EXPECT_FALSE(client_.execute("select 1").rowResults().at(0).rows.empty());  // off again

    const auto named =
        client_.execute("select total = 1 + 2, 'Run Value' = 'x', plain = 7").rowResults();
    ASSERT_EQ(named.size(), 1u);
    ASSERT_EQ(named[0].columns.size(), 3u);
    EXPECT_EQ(named[0].columns[0].name, "total");
    EXPECT_EQ(named[0].columns[1].name, "Run Value");
    EXPECT_EQ(named[0].rows.at(0).at(0), "3");
    EXPECT_EQ(named[0].rows.at(0).at(2), "7");
}

}  // namespace

namespace {

TEST_F(ResultShapes, TemporaryTablesBelongToTheirSession) {
    ASSERT_FALSE(client_.execute("create table #t (c char(4), v varchar(4))").failed());
    ASSERT_FALSE(client_.execute("insert #t values ('ab', 'ab')").failed());
    const auto rows = client_.execute("select c, v from #t").rowResults();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].rows.at(0).at(1), "ab");

    CtClient other;
    ASSERT_TRUE(other.connect("SHAPES"));
    bool missing = false;
    for (const auto& m : other.execute("select c from #t").messages())
        missing = missing || m.number == 208;
    EXPECT_TRUE(missing);
}

}  // namespace
