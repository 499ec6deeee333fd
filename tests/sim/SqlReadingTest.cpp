// How the emulator reads Transact-SQL: where one statement ends and the next begins, what it
// hands to SQLite, and how it reads and writes datetimes.
#include "sim/statements/BatchSplitter.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/statements/StatementHandlers.h"

#include <gtest/gtest.h>

using namespace tvr::sim;

namespace {

std::vector<std::string> statementTexts(const std::string& batch) {
    std::vector<std::string> texts;
    for (const Statement& statement : BatchSplitter().split(batch)) texts.push_back(statement.text);
    return texts;
}

std::string sqlite(const std::string& statement, const std::string& database = "pubs2") {
    auto statements = BatchSplitter().split(statement);
    EXPECT_EQ(statements.size(), 1u) << statement;
    return translateToSqlite(statements.at(0), database,
                             [](const std::string& name) -> std::optional<std::string> {
                                 if (name == "@@servername") return std::string("'MAIN'");
                                 return std::nullopt;
                             })
        .sql;
}

}  // namespace

TEST(BatchSplitting, StatementsNeedNoSeparator) {
    EXPECT_EQ(statementTexts("use pubs2 select * from t\ninsert t values (1) print 'done'"),
              (std::vector<std::string>{"use pubs2", "select * from t", "insert t values (1)",
                                        "print 'done'"}));
    EXPECT_EQ(statementTexts("select 1; select 2;"),
              (std::vector<std::string>{"select 1", "select 2"}));
    EXPECT_TRUE(statementTexts("  -- only a comment\n/* and another */ ").empty());
}

TEST(BatchSplitting, KeywordsInsideStatementsDoNotSplitThem) {
    EXPECT_EQ(statementTexts("insert into t select a from s where a in (select b from u) select 2"),
              (std::vector<std::string>{
                  "insert into t select a from s where a in (select b from u)", "select 2"}));
    EXPECT_EQ(statementTexts("insert t (a, b) select 1, 2"),
              (std::vector<std::string>{"insert t (a, b) select 1, 2"}));
    EXPECT_EQ(statementTexts("insert t values (1) select * from t"),
              (std::vector<std::string>{"insert t values (1)", "select * from t"}));
    EXPECT_EQ(
        statementTexts("update t set a = 1 where b = 'select' set nocount on"),
        (std::vector<std::string>{"update t set a = 1 where b = 'select'", "set nocount on"}));
    EXPECT_EQ(statementTexts("select a from t union all select b from u"),
              (std::vector<std::string>{"select a from t union all select b from u"}));
}

TEST(BatchSplitting, ControlFlowKeepsItsBody) {
    EXPECT_EQ(
        statementTexts(
            "if exists (select 1 from sysobjects where name = 'p') drop procedure p\nselect 2"),
        (std::vector<std::string>{
            "if exists (select 1 from sysobjects where name = 'p') drop procedure p", "select 2"}));
    EXPECT_EQ(statementTexts("if 1 = 1 begin select 1 select 2 end else print 'no' select 3"),
              (std::vector<std::string>{"if 1 = 1 begin select 1 select 2 end else print 'no'",
                                        "select 3"}));
    EXPECT_EQ(statementTexts("begin tran insert t values (1) commit tran"),
              (std::vector<std::string>{"begin tran", "insert t values (1)", "commit tran"}));
}

TEST(BatchSplitting, CreateProcedureTakesTheRestOfTheBatch) {
    auto texts = statementTexts(
        "use sybsystemprocs\ncreate procedure p as\nbegin\n  select 1\nend\nprint 'x'");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "create procedure p as\nbegin\n  select 1\nend\nprint 'x'");
}

TEST(BatchSplitting, LinesAndFirstStatementAreKnown) {
    auto statements = BatchSplitter().split("\n\nselect 1\n/* two\nlines */ select\n2");
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_EQ(statements[0].line, 3);
    EXPECT_TRUE(statements[0].firstInBatch);
    EXPECT_EQ(statements[1].line, 5);
    EXPECT_FALSE(statements[1].firstInBatch);
}

TEST(BatchSplitting, UnclosedQuotesAndCommentsAreErrors) {
    EXPECT_THROW(BatchSplitter().split("select 'abc"), SqlLexError);
    EXPECT_THROW(BatchSplitter().split("select \"abc"), SqlLexError);
    EXPECT_THROW(BatchSplitter().split("select 1 /* open"), SqlLexError);
    EXPECT_THROW(BatchSplitter().split("select [open"), SqlLexError);
    EXPECT_EQ(statementTexts("select 'it''s' select \"say \"\"hi\"\"\""),
              (std::vector<std::string>{"select 'it''s'", "select \"say \"\"hi\"\"\""}));
}

TEST(SqliteTranslation, QuotesNamesAndShortForms) {
    EXPECT_EQ(sqlite("select \"it's\" from [my table]"), "select 'it''s' from \"my table\"");
    EXPECT_EQ(sqlite("insert t values (1)"), "insert into t values (1)");
    EXPECT_EQ(sqlite("insert into t values (1)"), "insert into t values (1)");
    EXPECT_EQ(sqlite("delete t where a = 1"), "delete from t where a = 1");
    EXPECT_EQ(sqlite("truncate table t"), "delete from t");
    EXPECT_EQ(sqlite("select top 5 a from t order by a"), "select a from t order by a LIMIT 5");
    EXPECT_EQ(sqlite("select distinct top 2 a from t"), "select distinct a from t LIMIT 2");
    EXPECT_EQ(sqlite("select 'a' + b + 'c' from t"), "select 'a' || b || 'c' from t");
    EXPECT_EQ(sqlite("select a + 1 from t"), "select a + 1 from t");
    EXPECT_EQ(sqlite("select @@servername"), "select 'MAIN'");
    EXPECT_EQ(sqlite("select isnull(a, 0) from t where b isnull"),
              "select ifnull(a, 0) from t where b isnull");
    EXPECT_THROW(sqlite("select @nosuch"), UnknownVariable);
}

TEST(SqliteTranslation, OtherDatabasesAreAttachedByName) {
    auto statements =
        BatchSplitter().split("select name from master..sysdatabases, pubs2.dbo.t, dbo.u");
    TranslatedSql translated = translateToSqlite(statements.at(0), "pubs2", nullptr);
    EXPECT_EQ(translated.sql, "select name from \"master\".\"sysdatabases\", main.\"t\", \"u\"");
    EXPECT_EQ(translated.databases, (std::set<std::string>{"master"}));
    // A column of a table is no qualified table name.
    EXPECT_EQ(sqlite("select t.a from t"), "select t.a from t");
}

TEST(PrintText, ArgumentsReplaceTheirPlaceholders) {
    EXPECT_EQ(formatPrintText("LOG DUMP ERROR: %1!", {"4305"}), "LOG DUMP ERROR: 4305");
    EXPECT_EQ(formatPrintText("%2! before %1!", {"a", "b"}), "b before a");
    EXPECT_EQ(formatPrintText("missing %3! here", {"a"}), "missing  here");
    EXPECT_EQ(formatPrintText("100% sure %1", {"a"}), "100% sure %1");
    EXPECT_EQ(formatPrintText("%10!", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}), "ten");
    // Found by the fuzzer: a huge placeholder number once overflowed.
    EXPECT_EQ(formatPrintText("x%99999999999999999999!y", {"a"}), "xy");
}

TEST(DateTimes, DayNumbersAndTicksMatchTheServer) {
    EXPECT_EQ(dateTimeFromParts(1900, 1, 1, 0, 0, 0, 0), (DateTimeValue{0, 0}));
    EXPECT_EQ(dateTimeFromParts(1899, 12, 31, 0, 0, 0, 0), (DateTimeValue{-1, 0}));
    EXPECT_EQ(dateTimeFromParts(2026, 12, 7, 0, 0, 1, 0), (DateTimeValue{46361, 300}));
    // Milliseconds round to three-hundredths: .500 is 150 ticks, .999 rounds up to the next second.
    EXPECT_EQ(dateTimeFromParts(2000, 1, 1, 0, 0, 0, 500).ticks, 150);
    EXPECT_EQ(dateTimeFromParts(2000, 1, 1, 0, 0, 0, 999).ticks, 300);
    // The last moment of a day rounds into the next one.
    DateTimeValue late = dateTimeFromParts(2000, 1, 1, 23, 59, 59, 999);
    EXPECT_EQ(late, dateTimeFromParts(2000, 1, 2, 0, 0, 0, 0));
}

TEST(DateTimes, TheUsualInputFormsAreRead) {
    const DateTimeValue expected = dateTimeFromParts(2026, 12, 7, 22, 11, 12, 500);
    for (const char* text :
         {"2026-12-07 22:11:12.5", "2026-12-07T22:11:12.500", "20261207 22:11:12.500",
          "Dec 7 2026 10:11:12.500PM", "december 7, 2026 22:11:12.500", "12/07/2026 22:11:12.500"})
        EXPECT_EQ(parseDateTime(text), expected) << text;
    EXPECT_EQ(parseDateTime("2026-12-07"), dateTimeFromParts(2026, 12, 7, 0, 0, 0, 0));
    EXPECT_EQ(parseDateTime("Dec 7 2026 12:00AM"), dateTimeFromParts(2026, 12, 7, 0, 0, 0, 0));
    EXPECT_EQ(parseDateTime("2024-02-29 12:00"), dateTimeFromParts(2024, 2, 29, 12, 0, 0, 0));
    for (const char* text :
         {"", "yesterday", "2026-02-29", "2026-13-01", "1752-12-31", "2026-12-07 24:00",
          "2026-12-07 10:60", "2026-12-07 13:00PM", "2026-12-07 10:00 tomorrow"})
        EXPECT_FALSE(parseDateTime(text).has_value()) << text;
}

TEST(DateTimes, FormattingRoundTrips) {
    EXPECT_EQ(formatDateTime(DateTimeValue{0, 0}), "1900-01-01 00:00:00.000");
    EXPECT_EQ(formatDateTime(DateTimeValue{46361, 23961750}), "2026-12-07 22:11:12.500");
    EXPECT_EQ(formatDateTime(DateTimeValue{0, 1}), "1900-01-01 00:00:00.003");
    for (const char* text :
         {"1753-01-01 00:00:00.000", "2024-02-29 23:59:59.997", "9999-12-31 23:59:59.997"})
        EXPECT_EQ(formatDateTime(*parseDateTime(text)), text);
}
