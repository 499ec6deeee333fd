// What an administrator types in isql or tsql, seen through libct as such a client sees it:
// arithmetic errors, batches refused while they compile, and the server's column types.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtBatch;
using tvr::testing::CtClient;
using tvr::testing::CtMessage;
using tvr::testing::Emulator;

namespace {

class ClientSql : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Emulator("CLIENTSQL", {"pubs2"}); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(client_.connect("CLIENTSQL")); }

    // The one value of a one-row result.
    std::optional<std::string> value(const std::string& sql) {
        const auto results = client_.execute(sql).rowResults();
        if (results.size() != 1 || results[0].rows.size() != 1) return "(no single value)";
        return results[0].rows[0].at(0);
    }

    static Emulator* server_;
    CtClient client_;
};

Emulator* ClientSql::server_ = nullptr;

std::vector<int> numbers(const CtBatch& batch) {
    std::vector<int> found;
    for (const CtMessage& message : batch.messages()) found.push_back(message.number);
    return found;
}

}  // namespace

TEST_F(ClientSql, DivisionByZeroIsAnErrorAndOtherDivisionsKeepTheirValues) {
    const std::vector<std::string> refused = {
        "select 1/0",
        "select 7 % 0",
        "select 1.5 / 0.0",
        "select 10 / (5 - 5)",
        "select 3 * 2 / -0",
        "select 4 / abs(0)",
        "select 1 / case when 1 = 1 then 0 else 1 end",
        "select 2 / '0'",
    };
    for (const std::string& sql : refused) {
        const CtBatch batch = client_.execute(sql);
        const std::vector<CtMessage> messages = batch.messages();
        ASSERT_EQ(messages.size(), 1u) << sql;
        const CtMessage& message = messages[0];
        EXPECT_EQ(message.number, 3607) << sql;
        EXPECT_EQ(message.severity, 16) << sql;
        EXPECT_EQ(message.text, "Divide by zero occurred.\n") << sql;
        EXPECT_TRUE(batch.rowResults().empty()) << sql;
    }
    const std::pair<const char*, const char*> kept[] = {
        {"select 7 / 2", "3"},       {"select 7 % 3", "1"},          {"select 12 / 2 * 3", "18"},
        {"select 8 / (1 + 1)", "4"}, {"select 100 / -5 / 2", "-10"}, {"select 0 / 5", "0"},
    };
    for (const auto& [sql, expected] : kept)
        EXPECT_EQ(value(sql).value_or("(null)"), expected) << sql;
    // An operand cut short is a syntax error named at its own text.
    for (const char* sql : {"select 1 / (", "select 5 % -"}) {
        const std::vector<CtMessage> messages = client_.execute(sql).messages();
        ASSERT_EQ(messages.size(), 1u) << sql;
        EXPECT_EQ(messages[0].number, 102) << sql;
        EXPECT_EQ(messages[0].text.find(')'), std::string::npos) << messages[0].text;
    }
}

TEST_F(ClientSql, DivisionByZeroEndsTheBatchAndTakesBackItsTransaction) {
    client_.execute("use pubs2 create table arith (n int)");
    const CtBatch stopped = client_.execute("select 1\nselect 1/0\nselect 2");
    EXPECT_EQ(stopped.rowResults().size(), 1u);
    EXPECT_EQ(numbers(stopped), std::vector<int>{3607});
    EXPECT_EQ(stopped.messages()[0].line, 2);

    const CtBatch assigned = client_.execute("declare @n int\nselect @n = 5 / 0\nprint 'after'");
    EXPECT_EQ(numbers(assigned), std::vector<int>{3607});

    const CtBatch inTransaction =
        client_.execute("begin tran insert arith values (1) insert arith select n / 0 from arith");
    EXPECT_EQ(numbers(inTransaction), std::vector<int>{3607});
    EXPECT_EQ(value("select @@trancount"), "0");
    EXPECT_EQ(value("select count(*) from arith"), "0");
}

TEST_F(ClientSql, AnUnknownFunctionRefusesTheWholeBatchBeforeAnythingRuns) {
    client_.execute("use pubs2 create table calls (n int)");
    struct Case {
        const char* batch;
        const char* function;
        int line;
    };
    const Case cases[] = {
        {"insert calls values (1)\nselect nosuch(1)\nselect 2", "nosuch", 2},
        {"print 'first'\nif 1 = 1 begin\n  insert calls values (2)\n  update calls set n = Later(n)\nend",
         "Later", 4},
        {"declare @a int\nselect @a = 1\nselect @a = missing_fn(@a) from calls", "missing_fn", 3},
        {"insert calls values (3)\nwhile not_there(1) = 1\n  break", "not_there", 2},
    };
    for (const Case& c : cases) {
        const CtBatch batch = client_.execute(c.batch);
        const std::vector<CtMessage> messages = batch.messages();
        ASSERT_EQ(messages.size(), 1u) << c.batch;
        EXPECT_EQ(messages[0].number, 14216) << c.batch;
        EXPECT_EQ(messages[0].severity, 16) << c.batch;
        EXPECT_EQ(messages[0].text, std::string("Function '") + c.function + "' not found.\n");
        EXPECT_EQ(messages[0].line, c.line) << c.batch;
        EXPECT_TRUE(batch.rowResults().empty()) << c.batch;
        EXPECT_TRUE(batch.failed()) << c.batch;
    }
    EXPECT_EQ(value("select count(*) from calls"), "0");

    // Names followed by a parenthesis that are no calls, and the functions the server has.
    const CtBatch known = client_.execute(
        "insert calls (n) values (abs(-3))\n"
        "insert into pubs2..calls (n) select len(convert(varchar(2), 'abc')) + isnull(null, 1)\n"
        "select cast(n as char(3)), upper('x'), getdate() from calls where n in (3) "
        "and exists (select 1)");
    // A table's alias before an index hint is no call either (the hint itself SQLite refuses).
    EXPECT_NE(numbers(client_.execute("select n from calls c (index calls_n)")),
              std::vector<int>{14216});
    EXPECT_TRUE(known.messages().empty()) << known.messages().at(0).text;
    EXPECT_EQ(known.rowResults().size(), 1u);

    // A text run by execute is a batch of its own: its refusal ends only that statement.
    const CtBatch nested = client_.execute("execute ('select nosuch(1)')\nselect 5");
    EXPECT_EQ(numbers(nested), std::vector<int>{14216});
    EXPECT_EQ(nested.rowResults().size(), 1u);
}

TEST_F(ClientSql, ColumnsTravelInTheServersTypes) {
    ASSERT_FALSE(client_
                     .execute("use pubs2 create table typed_cols (fixed char(6) not null, loose "
                              "char(6) null, r real, t text, f float)\n"
                              "insert typed_cols values ('ab', 'ab', 1.5, 'a text value', 2.25)\n"
                              "insert typed_cols values ('abcdef', null, null, null, null)")
                     .failed());
    const auto results =
        client_.execute("select fixed, loose, r, t, f from typed_cols order by fixed").rowResults();
    ASSERT_EQ(results.size(), 1u);
    const auto& columns = results[0].columns;
    ASSERT_EQ(columns.size(), 5u);
    const int types[] = {CS_CHAR_TYPE, CS_CHAR_TYPE, CS_REAL_TYPE, CS_TEXT_TYPE, CS_FLOAT_TYPE};
    for (std::size_t i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].type, types[i]) << columns[i].name;
    using Row = std::vector<std::optional<std::string>>;
    EXPECT_EQ(results[0].rows.at(0), (Row{"ab    ", "ab", "1.5", "a text value", "2.25"}));
    EXPECT_EQ(results[0].rows.at(1),
              (Row{"abcdef", std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
    // A conversion to char(n) pads as well, in a computed column.
    EXPECT_EQ(value("select convert(char(3), fixed) from typed_cols where fixed = 'ab'"), "ab ");
}

TEST_F(ClientSql, TheCatalogsDescribeTheDatabasesObjects) {
    const std::string body = "select '" + std::string(300, 'x') + "'";
    ASSERT_FALSE(client_
                     .execute("use pubs2 create table cat_t (id int not null, label varchar(20) "
                              "null, amount numeric(10,2) null)")
                     .failed());
    ASSERT_FALSE(client_.execute("create procedure cat_p as " + body).failed());
    using Row = std::vector<std::optional<std::string>>;
    struct Case {
        const char* query;
        std::vector<Row> rows;
    };
    const Case cases[] = {
        {"select type, uid, id - object_id('cat_t') from sysobjects where name = 'cat_t'",
         {{"U ", "1", "0"}}},
        {"select o.type from sysobjects o where o.name = 'cat_p' and o.uid = user_id('dbo')",
         {{"P "}}},
        {"select c.name, c.usertype, c.length, c.status & 8, c.prec, c.scale "
         "from syscolumns c, sysobjects o where c.id = o.id and o.name = 'cat_t' order by colid",
         {{"id", "7", "4", "0", std::nullopt, std::nullopt},
          {"label", "2", "20", "8", std::nullopt, std::nullopt},
          {"amount", "10", "17", "8", "10", "2"}}},
        {"select count(*), sum(len(text)) from syscomments where id = object_id('cat_p')",
         {{"2", std::to_string(std::string("create procedure cat_p as ").size() + body.size())}}},
        {"select name, uid from sysusers order by uid", {{"public", "0"}, {"dbo", "1"}}},
        {"select usertype, type, length from systypes where name = 'int'", {{"7", "56", "4"}}},
        {"select count(*) from master..sysobjects where name = 'cat_t'", {{"0"}}},
        {"select sysobjects.name from sysobjects where sysobjects.id = 1", {{"sysobjects"}}},
    };
    for (const Case& c : cases) {
        const CtBatch batch = client_.execute(c.query);
        ASSERT_EQ(batch.rowResults().size(), 1u)
            << c.query << (batch.messages().empty() ? "" : ": " + batch.messages()[0].text);
        EXPECT_EQ(batch.rowResults()[0].rows, c.rows) << c.query;
    }
    // A change made from a catalog could not be replayed from the log: refused, and said why.
    const std::vector<CtMessage> refused = client_
                                               .execute(
                                                   "create table cat_names (n varchar(255)) "
                                                   "insert cat_names select name from sysobjects")
                                               .messages();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].number, 7);
    EXPECT_NE(refused[0].text.find("system catalog"), std::string::npos) << refused[0].text;
}

TEST_F(ClientSql, SpHelpDescribesTheObjectsAndATablesColumns) {
    client_.execute("use pubs2 create table help_t (code char(4) not null, note varchar(80) null)");
    const CtBatch all = client_.execute("sp_help");
    ASSERT_EQ(all.statuses(), std::vector<int>{0});
    const auto objects = all.rowResults();
    ASSERT_EQ(objects.size(), 1u);
    bool listed = false;
    for (const auto& row : objects[0].rows)
        listed = listed || (row.at(0) == "help_t" && row.at(2) == "user table");
    EXPECT_TRUE(listed);

    const CtBatch one = client_.execute("exec sp_help 'dbo.help_t'");
    ASSERT_EQ(one.statuses(), std::vector<int>{0});
    const auto results = one.rowResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows.at(0).at(0), "help_t");
    std::vector<std::string> headings;
    for (const auto& column : results[1].columns) headings.push_back(column.name);
    ASSERT_GE(headings.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(headings.begin(), headings.begin() + 6),
        (std::vector<std::string>{"Column_name", "Type", "Length", "Prec", "Scale", "Nulls"}));
    using Row = std::vector<std::optional<std::string>>;
    ASSERT_EQ(results[1].rows.size(), 2u);
    EXPECT_EQ(Row(results[1].rows[0].begin(), results[1].rows[0].begin() + 6),
              (Row{"code", "char", "4", std::nullopt, std::nullopt, "0"}));
    EXPECT_EQ(Row(results[1].rows[1].begin(), results[1].rows[1].begin() + 6),
              (Row{"note", "varchar", "80", std::nullopt, std::nullopt, "1"}));

    const CtBatch missing = client_.execute("sp_help no_such_object");
    EXPECT_EQ(missing.statuses(), std::vector<int>{1});
    EXPECT_EQ(numbers(missing), std::vector<int>{17461});
}

TEST_F(ClientSql, SpWhoListsEveryConnection) {
    CtClient other;
    ASSERT_TRUE(other.connect("CLIENTSQL", "sa", "", "other-app", "otherhost"));
    other.execute("use pubs2");
    const auto results = client_.execute("sp_who").rowResults();
    ASSERT_EQ(results.size(), 1u);
    std::vector<std::string> headings;
    for (const auto& column : results[0].columns) headings.push_back(column.name);
    EXPECT_EQ(headings, (std::vector<std::string>{"fid", "spid", "status", "loginame", "origname",
                                                  "hostname", "blk_spid", "dbname", "tempdbname",
                                                  "cmd", "block_xloid", "threadpool"}));
    std::optional<std::string> ownSpid = value("select @@spid");
    bool sawOther = false, sawSelf = false;
    for (const auto& row : results[0].rows) {
        if (row.at(5) == "otherhost") {
            sawOther = true;
            EXPECT_EQ(row.at(7), "pubs2");
            EXPECT_EQ(row.at(3), "sa");
        }
        if (row.at(1) == ownSpid) {
            sawSelf = true;
            EXPECT_EQ(row.at(2), "running");
        }
    }
    EXPECT_TRUE(sawOther);
    EXPECT_TRUE(sawSelf);
    other.close();
    const auto filtered = client_.execute("sp_who '" + ownSpid.value_or("") + "'").rowResults();
    ASSERT_EQ(filtered.size(), 1u);
    EXPECT_EQ(filtered[0].rows.size(), 1u);
}

TEST_F(ClientSql, CastConvertsAsConvertDoesAndForBrowseReadsTheRows) {
    EXPECT_EQ(value("select cast('12' as int)"), "12");
    EXPECT_EQ(value("select cast(2.5 as numeric(5,2)) as n"), "2.50");
    const auto unknown = client_.execute("select cast(1 as nosuchtype)").messages();
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].number, 243);
    EXPECT_EQ(value("select name from master..sysdatabases where name = 'pubs2' for browse"),
              "pubs2");
}
