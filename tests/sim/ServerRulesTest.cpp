// Rules the server applies to values as it keeps and returns them, as a client reads them through
// libct: declared lengths, datetime precision, binary parameters, the types of constants.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtBatch;
using tvr::testing::CtClient;
using tvr::testing::Emulator;

namespace {

class ServerRules : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Emulator("RULES", {"shop"}); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(client_.connect("RULES")); }

    // The one value of a query, or a text saying there was none.
    std::optional<std::string> value(const std::string& sql) {
        const auto results = client_.execute(sql).rowResults();
        if (results.size() != 1 || results[0].rows.size() != 1) return "(no single value)";
        return results[0].rows[0].at(0);
    }
    std::string table() { return "shop..t" + std::to_string(++tables_); }
    // The columns of the first row result of a query, as ct_describe gives them after its first
    // row.
    std::vector<CS_DATAFMT> describe(const std::string& sql) {
        std::vector<CS_DATAFMT> formats;
        CS_COMMAND* cmd = nullptr;
        ct_cmd_alloc(client_.connection(), &cmd);
        ct_command(cmd, CS_LANG_CMD, const_cast<CS_CHAR*>(sql.c_str()), CS_NULLTERM, CS_UNUSED);
        CS_INT type = 0;
        if (ct_send(cmd) == CS_SUCCEED)
            while (ct_results(cmd, &type) == CS_SUCCEED)
                if (type == CS_ROW_RESULT) {
                    // What follows the format (a browse result's column sources) is read
                    // with the first row.
                    ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr);
                    CS_INT count = 0;
                    ct_res_info(cmd, CS_NUMDATA, &count, CS_UNUSED, nullptr);
                    for (CS_INT k = 1; k <= count && formats.size() < std::size_t(count); ++k) {
                        CS_DATAFMT format{};
                        ct_describe(cmd, k, &format);
                        formats.push_back(format);
                    }
                    ct_cancel(nullptr, cmd, CS_CANCEL_CURRENT);
                }
        ct_cmd_drop(cmd);
        return formats;
    }

    static Emulator* server_;
    static int tables_;
    CtClient client_;
};

Emulator* ServerRules::server_ = nullptr;
int ServerRules::tables_ = 0;

}  // namespace

TEST_F(ServerRules, ValuesAreKeptWithinTheirDeclaredLength) {
    struct Case {
        const char* type;
        const char* literal;
        const char* kept;
        const char* bytes;  // datalength of what is kept
        int described;      // the column's length in its format
    };
    const Case cases[] = {
        {"varchar(5) null", "'abcdefghijk'", "abcde", "5", 5},
        {"char(5) not null", "'abcdefg'", "abcde", "5", 5},
        {"varchar(4) null", "'\xc3\xa9\xc3\xa9\xc3\xa9'", "\xc3\xa9\xc3\xa9", "4", 4},
        {"varchar(3) null", "'a\xc3\xa9\xc3\xa9'", "a\xc3\xa9", "3", 3},  // never half a character
        {"nvarchar(5) null", "'abcdefghijk'", "abcde", "5", 15},
        {"univarchar(3) null", "'abcdef'", "abc", "3", 6},
        {"varbinary(2) null", "0x010203", "0102", "2", 2},
        {"binary(2) not null", "0x010203", "0102", "2", 2},
        {"varchar(5) null", "'abc'", "abc", "3", 5},
    };
    for (const Case& c : cases) {
        const std::string t = table();
        ASSERT_FALSE(client_.execute("create table " + t + " (v " + c.type + ")").failed());
        ASSERT_FALSE(client_.execute("insert " + t + " values (" + c.literal + ")").failed());
        const auto results = client_.execute("select v, datalength(v) from " + t).rowResults();
        ASSERT_EQ(results.size(), 1u) << c.type;
        EXPECT_EQ(results[0].rows.at(0).at(0), c.kept) << c.type << " " << c.literal;
        EXPECT_EQ(results[0].rows.at(0).at(1), c.bytes) << c.type << " " << c.literal;
        EXPECT_EQ(results[0].columns.at(0).maxLength, c.described) << c.type;
        // An update is held to the same length.
        ASSERT_FALSE(client_.execute("update " + t + " set v = " + c.literal).failed());
        EXPECT_EQ(value("select datalength(v) from " + t), c.bytes) << c.type << " update";
    }
}

TEST_F(ServerRules, StringRightTruncationRefusesWhatWouldBeLost) {
    const std::string t = table();
    ASSERT_FALSE(client_.execute("create table " + t + " (c varchar(3) null, b varbinary(1) null)")
                     .failed());
    struct Case {
        const char* values;
        bool refused;
    };
    const Case cases[] = {
        {"'abcd', null", true},
        {"'abc   ', null", false},  // only blanks are cut
        {"'ab', 0x0102", false},    // binary values are cut silently
    };
    ASSERT_FALSE(client_.execute("set string_rtruncation on").failed());
    for (const Case& c : cases) {
        const CtBatch batch = client_.execute("insert " + t + " values (" + c.values + ")");
        EXPECT_EQ(batch.failed(), c.refused) << c.values;
        const auto messages = batch.messages();
        EXPECT_EQ(!messages.empty() && messages[0].number == 8152, c.refused) << c.values;
    }
    EXPECT_EQ(value("select count(*) from " + t), "2");
    ASSERT_FALSE(client_.execute("set string_rtruncation off").failed());
    EXPECT_FALSE(client_.execute("insert " + t + " values ('abcd', null)").failed());
}

TEST_F(ServerRules, ConstantsAreTypedAsTheServerTypesThem) {
    const std::string t = table();
    ASSERT_FALSE(client_.execute("create table " + t + " (n int null, m int not null)").failed());
    ASSERT_FALSE(client_.execute("insert " + t + " values (null, 1)").failed());
    struct Case {
        const char* item;
        int csType;
        bool nullable;
        int precision;  // of a numeric
        int scale;
    };
    const Case cases[] = {
        {"12", CS_INT_TYPE, false, 0, 0},
        {"-12", CS_INT_TYPE, false, 0, 0},
        {"12 + 3 * 2", CS_INT_TYPE, false, 0, 0},
        {"1.50", CS_NUMERIC_TYPE, false, 3, 2},
        {"3000000000", CS_NUMERIC_TYPE, false, 10, 0},
        {"1e2", CS_FLOAT_TYPE, false, 0, 0},
        {"'abc'", CS_CHAR_TYPE, false, 0, 0},
        {"n", CS_INT_TYPE, true, 0, 0},
        {"m", CS_INT_TYPE, false, 0, 0},
    };
    for (const Case& c : cases) {
        const auto formats = describe(std::string("select ") + c.item + " from " + t);
        ASSERT_EQ(formats.size(), 1u) << c.item;
        const CS_DATAFMT& format = formats[0];
        EXPECT_EQ(format.datatype, c.csType) << c.item;
        EXPECT_EQ((format.status & CS_CANBENULL) != 0, c.nullable) << c.item;
        if (c.csType == CS_NUMERIC_TYPE) {
            EXPECT_EQ(format.precision, c.precision) << c.item;
            EXPECT_EQ(format.scale, c.scale) << c.item;
        }
    }
}

TEST_F(ServerRules, DateTimesAreKeptAndComparedAtTheServersPrecision) {
    const std::string t = table();
    ASSERT_FALSE(
        client_.execute("create table " + t + " (d datetime not null, s smalldatetime null)")
            .failed());
    ASSERT_FALSE(client_
                     .execute("insert " + t +
                              " values ('2020-01-02 03:04:05', '2020-01-02 03:04:29') "
                              "insert " +
                              t + " values ('2020-01-02 03:04:05.000', '20200102 03:04')")
                     .failed());
    struct Case {
        std::string query;
        std::string count;
    };
    const Case cases[] = {
        {"select count(*) from " + t + " a, " + t + " b where a.d = b.d", "4"},
        {"select count(*) from " + t + " a, " + t + " b where a.s = b.s", "4"},
        {"select count(*) from " + t + " where d = 'Jan 2 2020 3:04:05.001AM'", "2"},
        {"select count(distinct d) from " + t, "1"},
        {"select count(*) from " + t + " where d < '2020-01-02 03:04:05.004'", "2"},
        {"select count(*) from " + t + " where d > '2020-01-02 03:04:04.990'", "2"},
        {"select count(*) from " + t + " where d > '2020-01-02 03:04:04.999'", "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(c.query), c.count) << c.query;
}

TEST_F(ServerRules, DateTimesConvertInTheDocumentedStyles) {
    const std::string d = "'2020-01-02 13:04:05.123'";
    const std::pair<int, const char*> styles[] = {
        {0, "Jan  2 2020  1:04PM"},
        {100, "Jan  2 2020  1:04PM"},
        {1, "01/02/20"},
        {101, "01/02/2020"},
        {2, "20.01.02"},
        {102, "2020.01.02"},
        {3, "02/01/20"},
        {103, "02/01/2020"},
        {4, "02.01.20"},
        {104, "02.01.2020"},
        {5, "02-01-20"},
        {105, "02-01-2020"},
        {6, "02 Jan 20"},
        {106, "02 Jan 2020"},
        {7, "Jan 02, 20"},
        {107, "Jan 02, 2020"},
        {8, "13:04:05"},
        {108, "13:04:05"},
        {9, "Jan  2 2020  1:04:05:123PM"},
        {109, "Jan  2 2020  1:04:05:123PM"},
        {10, "01-02-20"},
        {110, "01-02-2020"},
        {11, "20/01/02"},
        {111, "2020/01/02"},
        {12, "200102"},
        {112, "20200102"},
        {139, "Jan  2 2020  1:04:05.123333PM"},
    };
    for (const auto& [style, text] : styles)
        EXPECT_EQ(value("select convert(varchar(40), convert(datetime, " + d + "), " +
                        std::to_string(style) + ")"),
                  text)
            << style;
}

TEST_F(ServerRules, ExactVariablesKeepTheirTypeAndDigits) {
    struct Case {
        const char* declared;
        const char* assigned;
        int csType;
        const char* shown;
    };
    const Case cases[] = {
        {"money", "300.9", CS_MONEY_TYPE, "300.9000"},
        {"money", "922337203685477.5807", CS_MONEY_TYPE, "922337203685477.5807"},
        {"smallmoney", "12.5", CS_MONEY4_TYPE, "12.5000"},
        {"numeric(20,2)", "123456789012345.67", CS_NUMERIC_TYPE, "123456789012345.67"},
        {"numeric(10,0)", "2.5", CS_NUMERIC_TYPE, "3"},
        {"decimal(6,3)", "1.25", CS_DECIMAL_TYPE, "1.250"},
    };
    for (const Case& c : cases) {
        const auto results = client_
                                 .execute(std::string("declare @v ") + c.declared +
                                          " select @v = " + c.assigned + " select @v")
                                 .rowResults();
        ASSERT_EQ(results.size(), 1u) << c.declared;
        EXPECT_EQ(results[0].columns.at(0).type, c.csType) << c.declared;
        EXPECT_EQ(results[0].rows.at(0).at(0), c.shown) << c.declared << " " << c.assigned;
    }
}

TEST_F(ServerRules, EmptyStringsStayApartFromNullAndMaxIsNoLength) {
    const std::string t = table();
    ASSERT_FALSE(client_.execute("create table " + t + " (v varchar(5) null, b varbinary(2) null)")
                     .failed());
    ASSERT_FALSE(client_.execute("insert " + t + " values ('', null)").failed());
    EXPECT_EQ(value("select datalength(v) from " + t + " where v is not null"), "1");
    for (const std::string& sql : {"create table " + table() + " (v varbinary(max))",
                                   std::string("select convert(varchar(max), 'a')")}) {
        const auto messages = client_.execute(sql).messages();
        ASSERT_FALSE(messages.empty()) << sql;
        EXPECT_EQ(messages[0].number, 102) << sql;
    }
}

TEST_F(ServerRules, CreatedProceduresRunWithResultsOutputsNestingAndRaiserror) {
    const std::string t = table();
    ASSERT_FALSE(client_.execute("create table " + t + " (n int not null)").failed());
    ASSERT_FALSE(
        client_.execute("insert " + t + " values (1) insert " + t + " values (2)").failed());
    ASSERT_FALSE(
        client_
            .execute(
                "create procedure p_rows @n int, @total int output, @label varchar(5) = N'all' "
                "as\n"
                "select n from " +
                t +
                " where n <= @n order by n\n"
                "select @total = count(*) from " +
                t +
                " where n <= @n\n"
                "if @total = 0 raiserror 20001 'none up to %1!', @n\n"
                "return @total")
            .failed());
    ASSERT_FALSE(client_
                     .execute("create procedure p_call @n int as\ndeclare @t int\n"
                              "exec p_rows @n, @t output\nselect @t")
                     .failed());
    struct Case {
        std::string batch;
        std::vector<std::size_t> rowsPerResult;
        std::string lastValue;  // of the last result's first row
        int message;            // a message number the batch must bring, 0 for none
    };
    const Case cases[] = {
        {"declare @t int exec p_rows 2, @t output select @t", {2, 1}, "2", 0},
        {"exec p_call 1", {1, 1}, "1", 0},
        {"exec p_call 0", {0, 1}, "0", 20001},
        {"raiserror 20002 'plain %1!', 'text' select @@error", {1}, "20002", 20002},
    };
    for (const Case& c : cases) {
        const CtBatch batch = client_.execute(c.batch);
        const auto results = batch.rowResults();
        std::vector<std::size_t> rows;
        for (const auto& result : results) rows.push_back(result.rows.size());
        EXPECT_EQ(rows, c.rowsPerResult) << c.batch;
        if (!results.empty() && !results.back().rows.empty()) {
            EXPECT_EQ(results.back().rows[0].at(0), c.lastValue) << c.batch;
        }
        bool found = c.message == 0;
        for (const auto& message : batch.messages()) found = found || message.number == c.message;
        EXPECT_TRUE(found) << c.batch;
    }
}

TEST_F(ServerRules, IdentityColumnsNumberTheRowsInserted) {
    for (const char* type : {"numeric(10,0) identity", "int identity not null"}) {
        const std::string t = table();
        ASSERT_FALSE(
            client_.execute("create table " + t + " (id " + type + ", v varchar(5) null)").failed())
            << type;
        struct Case {
            std::string sql;
            std::string identity;  // @@identity after it
        };
        const Case cases[] = {
            {"insert " + t + " values ('a')", "1"},
            {"insert " + t + " (v) values ('b')", "2"},
            {"delete " + t + " where v = 'b'", "2"},
            {"insert " + t + " values ('c')", "3"},  // a number is never given twice
        };
        for (const Case& c : cases) {
            EXPECT_FALSE(client_.execute(c.sql).failed()) << c.sql;
            EXPECT_EQ(value("select @@identity"), c.identity) << c.sql;
        }
        EXPECT_EQ(value("select sum(id) from " + t), "4") << type;
        EXPECT_EQ(value("select max(syb_identity) from " + t), "3") << type;
    }
}

TEST_F(ServerRules, ABrowseResultSaysWhereItsColumnsComeFrom) {
    const std::string t = table();
    ASSERT_FALSE(
        client_.execute("create table " + t + " (n int not null primary key, v varchar(5) null)")
            .failed());
    ASSERT_FALSE(client_.execute("insert " + t + " values (1, 'a')").failed());
    const auto formats = describe("select n, n + 1, label = v from " + t + " for browse");
    ASSERT_EQ(formats.size(), 3u);
    struct Case {
        std::size_t column;
        bool updatable;
        bool key;
    };
    const Case cases[] = {{0, true, true}, {1, false, false}, {2, true, false}};
    for (const Case& c : cases) {
        EXPECT_EQ((formats[c.column].status & CS_UPDATABLE) != 0, c.updatable) << c.column;
        EXPECT_EQ((formats[c.column].status & CS_KEY) != 0, c.key) << c.column;
    }
}

TEST_F(ServerRules, CharacterValuesCompareWithoutTrailingBlanks) {
    const std::string t = table();
    ASSERT_FALSE(client_
                     .execute("create table " + t +
                              " (c char(5) not null, v varchar(5) null) "
                              "insert " +
                              t + " values ('a', 'a  ') insert " + t + " values ('a ', 'a')")
                     .failed());
    const std::pair<std::string, std::string> cases[] = {
        {"select count(*) from " + t + " where v = 'a'", "2"},
        {"select count(*) from " + t + " where c = 'a   '", "2"},
        {"select count(distinct v) from " + t, "1"},
    };
    for (const auto& [sql, count] : cases) EXPECT_EQ(value(sql), count) << sql;
}
