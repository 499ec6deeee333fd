// FreeTDS's own command line tools, which nobody here wrote, against the emulator: fisql logs
// on, lists the databases, and shows the 4002 refusal for a wrong password; defncopy writes
// out the definitions of a table and a procedure from the catalogs and sp_help.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using tvr::testing::Emulator;

namespace {

bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}
bool haveFisql() { return haveTool("fisql"); }

// Runs `tool` with `arguments` and `input` on its standard input; returns everything it
// printed.
std::string runTool(const std::string& tool, const std::string& arguments,
                    const std::string& input) {
    const tvr::testing::TempFolder scratch("tvr-" + tool);
    const std::string folder = scratch.string();
    std::string inputPath = folder + "/in.sql", outputPath = folder + "/out.txt";
    std::ofstream(inputPath) << input;
    std::string command =
        "timeout 60 " + tool + " " + arguments + " < " + inputPath + " > " + outputPath + " 2>&1";
    int status = std::system(command.c_str());
    (void)status;
    std::ifstream in(outputPath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string runFisql(const std::string& server, const std::string& password,
                     const std::string& input) {
    return runTool("fisql", "-S " + server + " -U sa -P '" + password + "'", input);
}

}  // namespace

TEST(FreeTdsTools, FisqlListsTheDatabasesAndSeesTheLoginRefusal) {
    if (!haveFisql()) GTEST_SKIP() << "fisql (Debian package freetds-bin) is not installed";
    Emulator server("FISQL", {"pubs2", "reserve_db"});

    std::string listing =
        runFisql("FISQL", "", "select name from master..sysdatabases order by name\ngo\n");
    for (const char* name :
         {"master", "model", "pubs2", "reserve_db", "sybsystemdb", "sybsystemprocs", "tempdb"})
        EXPECT_NE(listing.find(name), std::string::npos) << name << " missing in:\n" << listing;
    EXPECT_NE(listing.find("(7 rows affected)"), std::string::npos) << listing;
    EXPECT_LT(listing.find("master"), listing.find("tempdb"));

    std::string refused = runFisql("FISQL", "wrong", "select 1\ngo\n");
    EXPECT_NE(refused.find("4002"), std::string::npos) << refused;
    EXPECT_NE(refused.find("Login failed."), std::string::npos) << refused;

    std::string printed = runFisql("FISQL", "", "print 'hello from %1!', @@servername\ngo\n");
    EXPECT_NE(printed.find("hello from FISQL"), std::string::npos) << printed;
}

TEST(FreeTdsTools, FisqlShowsTextAndRealColumns) {
    if (!haveFisql()) GTEST_SKIP() << "fisql (Debian package freetds-bin) is not installed";
    Emulator server("FISQLTEXT");
    // fisql sizes its output line by the columns' described lengths.
    const std::string shown =
        runFisql("FISQLTEXT", "",
                 "select convert(text, 'words of text') as t, convert(real, 1.5) as r\ngo\n");
    EXPECT_NE(shown.find("words of text"), std::string::npos) << shown;
    EXPECT_NE(shown.find("1.5"), std::string::npos) << shown;
    EXPECT_NE(shown.find("(1 rows affected)"), std::string::npos) << shown;
}

TEST(FreeTdsTools, DefncopyWritesTheDefinitionsOfATableAndAProcedure) {
    if (!haveTool("defncopy"))
        GTEST_SKIP() << "defncopy (Debian package freetds-bin) is not installed";
    Emulator server("DEFNCOPY", {"sales"});
    tvr::testing::CtClient client;
    ASSERT_TRUE(client.connect("DEFNCOPY"));
    ASSERT_FALSE(client
                     .execute("use sales create table customers (id int not null, name "
                              "varchar(40) not null, city varchar(30) null)")
                     .failed());
    const std::string procedure =
        "create procedure list_customers as select id, name from customers -- " +
        std::string(300, '*');
    ASSERT_FALSE(client.execute(procedure).failed());

    const std::string table =
        runTool("defncopy", "-S DEFNCOPY -U sa -P '' -D sales dbo.customers", "");
    for (const char* line : {"CREATE TABLE dbo.customers", "id   int", "NOT NULL",
                             "name varchar(40)", "city varchar(30)"})
        EXPECT_NE(table.find(line), std::string::npos) << line << " missing in:\n" << table;
    EXPECT_EQ(table.find("NOT NULL", table.find("city")), std::string::npos) << table;

    const std::string text =
        runTool("defncopy", "-S DEFNCOPY -U sa -P '' -D sales list_customers", "");
    EXPECT_NE(text.find(procedure), std::string::npos) << text;
}

TEST(FreeTdsTools, FreebcpCopiesATableOutAndBackInWithIdenticalRowsThatTheLogKeeps) {
    if (!haveTool("freebcp"))
        GTEST_SKIP() << "freebcp (Debian package freetds-bin) is not installed";
    Emulator server("FREEBCP", {"sales", "copy"});
    tvr::testing::CtClient client;
    ASSERT_TRUE(client.connect("FREEBCP"));
    ASSERT_FALSE(
        client
            .execute("use sales create table t (id int not null, name varchar(300) "
                     "null, amount numeric(10,2) null, at datetime null, f float null, "
                     "m money null, c char(5) not null, b varbinary(8) null, tx text "
                     "null, s smallint null, bn binary(2) not null, nn numeric(7,2) not null)")
            .failed());
    // Enough rows for several packets; long names put column offsets past 255 bytes. The
    // columns of one size declared not null come in the row's fixed part.
    for (int i = 0; i < 40; ++i)
        ASSERT_FALSE(client
                         .execute("insert t values (" + std::to_string(i) + ", '" +
                                  std::string(static_cast<std::size_t>(i * 7), 'n') + "''s', -" +
                                  std::to_string(i) +
                                  ".25, '2020-01-02 03:04:05.500', 1.5, -620.8, 'ab', "
                                  "0x0102ff, 'text " +
                                  std::to_string(i) + "', -3, 0x0a0b, -12345.6" +
                                  std::to_string(i % 10) + ")")
                         .failed());
    ASSERT_FALSE(client
                     .execute("insert t values (99, NULL, NULL, NULL, NULL, NULL, 'xyz', NULL, "
                              "NULL, NULL, 0x00ff, 0)")
                     .failed());
    const tvr::testing::TempFolder scratch("tvr-freebcp");
    const std::string out = scratch.string() + "/out.txt", back = scratch.string() + "/back.txt";
    const std::string logon = " -S FREEBCP -U sa -P '' -c";
    EXPECT_NE(runTool("freebcp", "sales..t out " + out + logon, "").find("41 rows copied"),
              std::string::npos);

    ASSERT_FALSE(client.execute("dump database sales to '" + scratch.string() + "/full'").failed());
    ASSERT_FALSE(client.execute("delete t").failed());
    const std::string in = runTool("freebcp", "sales..t in " + out + logon, "");
    EXPECT_NE(in.find("41 rows copied"), std::string::npos) << in;
    runTool("freebcp", "sales..t out " + back + logon, "");
    std::ifstream first(out), second(back);
    std::stringstream a, b;
    a << first.rdbuf();
    b << second.rdbuf();
    EXPECT_EQ(a.str(), b.str());

    // The copied rows are in the log: a transaction dump carries them to another database.
    const std::string dumps = "'" + scratch.string();
    ASSERT_FALSE(client.execute("dump tran sales to " + dumps + "/tran'").failed());
    ASSERT_FALSE(client.execute("load database copy from " + dumps + "/full'").failed());
    ASSERT_FALSE(client.execute("load tran copy from " + dumps + "/tran'").failed());
    ASSERT_FALSE(client.execute("online database copy").failed());
    runTool("freebcp", "copy..t out " + back + logon, "");
    std::ifstream third(back);
    std::stringstream c;
    c << third.rdbuf();
    EXPECT_EQ(a.str(), c.str());
}

TEST(FreeTdsTools, DatacopyCopiesATableWithEmptyStringsNullsAndDatetimesIntact) {
    if (!haveTool("datacopy"))
        GTEST_SKIP() << "datacopy (Debian package freetds-bin) is not installed";
    Emulator server("DATACOPY", {"src", "dst"});
    tvr::testing::CtClient client;
    ASSERT_TRUE(client.connect("DATACOPY"));
    const std::string columns =
        " (id int not null, name varchar(10) null, at datetime null, m money null)";
    ASSERT_FALSE(client
                     .execute("create table src..t" + columns + " create table dst..t" + columns +
                              " insert src..t values (1, 'a', '2020-01-02 03:04:05.123', 1.5)"
                              " insert src..t values (2, '', null, null)")
                     .failed());
    // It reads both tables' formats with set fmtonly, then copies with bulk copy.
    const std::string copied =
        runTool("datacopy", "-a -S DATACOPY/sa//src/t -D DATACOPY/sa//dst/t -v", "");
    EXPECT_NE(copied.find("rows written         : 2"), std::string::npos) << copied;
    const auto same = client.execute(
        "select count(*) from src..t s, dst..t d where s.id = d.id and s.name = d.name and "
        "datalength(s.name) = datalength(d.name) and (s.at = d.at or s.at is null and d.at is "
        "null) and (s.m = d.m or s.m is null and d.m is null)");
    ASSERT_EQ(same.rowResults().size(), 1u);
    EXPECT_EQ(same.rowResults()[0].rows.at(0).at(0), "2");
}

TEST(FreeTdsTools, FreebcpPutsAnEmptyStringIntoANotNullCharacterColumn) {
    if (!haveTool("freebcp"))
        GTEST_SKIP() << "freebcp (Debian package freetds-bin) is not installed";
    Emulator server("EMPTYBCP", {"sales"});
    tvr::testing::CtClient client;
    ASSERT_TRUE(client.connect("EMPTYBCP"));
    ASSERT_FALSE(
        client.execute("create table sales..t (id int not null, v varchar(5) not null)").failed());
    // In a character file a field of one NUL byte is an empty string, not NULL; the row
    // carries it as an empty column.
    const tvr::testing::TempFolder scratch("tvr-emptybcp");
    const std::string in = scratch.string() + "/in.txt";
    std::ofstream(in) << std::string("1\t\0\n", 4);
    runTool("freebcp", "sales..t in " + in + " -S EMPTYBCP -U sa -P '' -c", "");
    const auto kept = client.execute("select datalength(v) from sales..t").rowResults();
    ASSERT_EQ(kept.size(), 1u);
    ASSERT_EQ(kept[0].rows.size(), 1u);
    EXPECT_EQ(kept[0].rows[0].at(0), "1");  // one blank, as the server keeps an empty string
}
