// Procedures as clients create, test for, drop and call them, created procedures run with their
// arguments, and the call of sp_TVR in its edge cases: parameters cut to their widths, @pr_dump
// winning, a NULL device name on a transaction load, missing parameters and procedures.
#include <gtest/gtest.h>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

TEST(Procedures, CreateTestDropAndCallWithTheServersMessages) {
    Emulator server("PRSRV", {"sales"});
    CtClient client;
    ASSERT_TRUE(client.connect("PRSRV"));
    ASSERT_FALSE(client.execute("use sales").failed());

    const std::string text = "-- keeps counts\ncreate procedure p_count as select 1\n";
    EXPECT_FALSE(client.execute(text).failed());
    CtBatch twice = client.execute("create procedure p_count as select 2");
    EXPECT_TRUE(hasMessage(twice, 2714));
    std::string back;
    const auto help = client.execute("sp_helptext p_count").rowResults();
    ASSERT_EQ(help.size(), 2u);
    for (const auto& row : help[1].rows) back += *row.at(0);
    EXPECT_EQ(back, text);
    EXPECT_TRUE(hasMessage(client.execute("select 1\ncreate proc p2 as select 1"), 111));

    CtBatch missing = client.execute("exec no_such_proc @a = 1");
    bool found = false;
    for (const CtMessage& m : missing.messages())
        if (m.number == 2812) {
            found = true;
            EXPECT_EQ(m.severity, 16);
        }
    EXPECT_TRUE(found);
    CtBatch counted = client.execute("execute p_count");
    EXPECT_EQ(lastStatus(counted), 0);
    ASSERT_EQ(counted.rowResults().size(), 1u);
    EXPECT_EQ(counted.rowResults()[0].rows.at(0).at(0), "1");

    // Existence tests in the installation script's form and in others.
    EXPECT_FALSE(
        client
            .execute("IF EXISTS (SELECT * FROM sysobjects WHERE type = 'P' AND name = 'p_count')\n"
                     "    DROP PROC p_count")
            .failed());
    EXPECT_TRUE(hasMessage(client.execute("drop procedure p_count"), 3701));
    CtBatch absent = client.execute("if object_id('p_count') is not null drop procedure p_count");
    EXPECT_FALSE(absent.failed());
    EXPECT_TRUE(absent.messages().empty());
    CtBatch elseBranch = client.execute(
        "if exists (select 1 from sysobjects where name = 'p_count') print 'there' else print 'gone'");
    EXPECT_TRUE(saysSomething(elseBranch, "gone"));
}

TEST(Procedures, CreatedProceduresRunTheirStatementsWithTheirArguments) {
    Emulator server("PRRUN", {"sales"});
    CtClient client;
    ASSERT_TRUE(client.connect("PRRUN"));
    ASSERT_FALSE(client.execute("use sales").failed());
    ASSERT_FALSE(client.execute("create table t (id int, name varchar(10) null)").failed());
    ASSERT_FALSE(
        client
            .execute("create procedure p_add (@id int, @name varchar(5) = 'none')\nas\nbegin\n"
                     "  insert t values (@id, @name)\n  select count(*) as total from t\n"
                     "  print 'added %1!', @id\n  return @id\nend\n")
            .failed());

    CtBatch added = client.execute("exec p_add @id = 7, @name = 'seven long'");
    EXPECT_FALSE(added.failed());
    EXPECT_EQ(lastStatus(added), 7);
    const auto counted = added.rowResults();
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_EQ(counted[0].columns.at(0).name, "total");
    EXPECT_EQ(counted[0].rows.at(0).at(0), "1");
    bool printed = false;
    for (const CtMessage& m : added.messages())
        if (m.text == "added 7") {
            printed = true;
            EXPECT_EQ(m.procedure, "p_add");
            EXPECT_EQ(m.line, 6);
        }
    EXPECT_TRUE(printed);
    EXPECT_EQ(lastStatus(client.execute("p_add 8")),
              8);  // a name first in its batch, the default for @name
    EXPECT_EQ(rowsText(client, "select id, name from t order by id"), "7|seven|\n8|none|\n");

    // Calls that do not fit the parameters are refused before anything runs.
    EXPECT_TRUE(hasMessage(client.execute("exec p_add"), 201));
    EXPECT_TRUE(hasMessage(client.execute("exec p_add @id = 'x'"), 257));
    EXPECT_TRUE(hasMessage(client.execute("exec p_add @idd = 1"), 8145));
    // Control flow and local variables run as written; a statement the emulator cannot run is
    // refused when the procedure is created, naming it, and nothing is kept.
    ASSERT_FALSE(client
                     .execute("create procedure p_flow @n int as\ndeclare @x int\n"
                              "select @x = @n * 2\nif @x > 10 insert t values (@x, 'flow')\n"
                              "else insert t values (@x, 'low')")
                     .failed());
    EXPECT_FALSE(client.execute("exec p_flow 9").failed());
    EXPECT_FALSE(client.execute("exec p_flow 2").failed());
    CtBatch refused = client.execute("create procedure p_bad as\ngoto done");
    EXPECT_TRUE(hasMessage(refused, 20001));
    EXPECT_TRUE(saysSomething(refused, "goto"));
    EXPECT_TRUE(hasMessage(client.execute("exec p_bad"), 2812));

    // Procedures call procedures, up to the server's nesting limit.
    ASSERT_FALSE(
        client.execute("create procedure p_outer as\nexec p_add 10, 'ten'\nreturn 1").failed());
    EXPECT_EQ(lastStatus(client.execute("exec p_outer")), 1);
    ASSERT_FALSE(client.execute("create procedure p_loop as exec p_loop").failed());
    EXPECT_TRUE(hasMessage(client.execute("exec p_loop"), 217));
    EXPECT_EQ(rowsText(client, "select id, name from t order by id"),
              "4|low|\n7|seven|\n8|none|\n10|ten|\n18|flow|\n");
}

TEST(Procedures, SpTvrIsFoundFromEveryDatabaseOnceCreatedInSybsystemprocs) {
    Emulator server("PRTVR", {"sales", "a_database_name_of_thirty_char"});
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("PRTVR"));
    client.execute("use sales");
    EXPECT_TRUE(
        hasMessage(client.execute(spTvrCall(1, "sales", 1, 0, dumps.folder(), "x.tr")), 2812));

    ASSERT_TRUE(installSpTvr(client).empty());
    ASSERT_TRUE(installSpTvr(client).empty());  // running it again replaces the procedure
    client.execute("use sales");
    CtBatch missing = client.execute("execute sp_TVR @TypeTrans=1, @database_name=\"sales\"");
    EXPECT_TRUE(hasMessage(missing, 201));

    // @pr_dump wins over @pr_load: a dump, no load.
    CtBatch both = client.execute(spTvrCall(0, "sales", 1, 1, dumps.folder(), "both.db"));
    EXPECT_EQ(lastStatus(both), 1);
    EXPECT_TRUE(saysSomething(both, "Start Dump"));
    EXPECT_FALSE(saysSomething(both, "Start Load"));
    EXPECT_TRUE(std::filesystem::exists(dumps.file("both.db")));

    // A NULL device name on a transaction load: nothing is loaded, status 1.
    CtBatch nothing = client.execute(
        "execute sp_TVR @TypeTrans=1, @database_name=\"sales\", @pr_dump=0, @pr_load=1, "
        "@pathname=\"" +
        dumps.withSeparator() + "\", @device_name=NULL");
    EXPECT_EQ(lastStatus(nothing), 1);
    EXPECT_TRUE(saysSomething(nothing, "Start Load"));
    EXPECT_FALSE(hasMessage(nothing, 8009));

    // The database name is cut to 30 characters, the file name too.
    const std::string longName = "a_database_name_of_thirty_char_and_more";
    CtBatch cut = client.execute(
        spTvrCall(0, longName, 1, 0, dumps.folder(), "file_name_of_thirty_characters_plus.db"));
    EXPECT_EQ(lastStatus(cut), 1);
    EXPECT_TRUE(std::filesystem::exists(dumps.file("file_name_of_thirty_characters")));

    // A failing dump prints the error and returns it negated; messages name the procedure.
    CtBatch failed = client.execute(spTvrCall(1, "no_such_db", 1, 0, dumps.folder(), "x.tr"));
    EXPECT_EQ(lastStatus(failed), -911);
    bool printed = false;
    for (const CtMessage& m : failed.messages())
        if (m.text.rfind("LOG DUMP ERROR: 911", 0) == 0) {
            printed = true;
            EXPECT_EQ(m.procedure, "sp_TVR");
            EXPECT_GT(m.line, 1);
        }
    EXPECT_TRUE(printed);
}

}  // namespace
