// Procedures as clients create, test for, drop and call them, and the call of sp_TVR in its
// edge cases: parameters cut to their widths, @pr_dump winning, a NULL device name on a
// transaction load, missing parameters and procedures.
#include <gtest/gtest.h>

#include "DumpTestSupport.h"
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
  EXPECT_TRUE(hasMessage(client.execute("execute p_count"), 20001));

  // Existence tests in the installation script's form and in others.
  EXPECT_FALSE(client.execute("IF EXISTS (SELECT * FROM sysobjects WHERE type = 'P' AND name = 'p_count')\n"
                              "    DROP PROC p_count").failed());
  EXPECT_TRUE(hasMessage(client.execute("drop procedure p_count"), 3701));
  CtBatch absent = client.execute("if object_id('p_count') is not null drop procedure p_count");
  EXPECT_FALSE(absent.failed());
  EXPECT_TRUE(absent.messages().empty());
  CtBatch elseBranch =
      client.execute("if exists (select 1 from sysobjects where name = 'p_count') print 'there' else print 'gone'");
  EXPECT_TRUE(saysSomething(elseBranch, "gone"));
}

TEST(Procedures, SpTvrIsFoundFromEveryDatabaseOnceCreatedInSybsystemprocs) {
  Emulator server("PRTVR", {"sales", "a_database_name_of_thirty_char"});
  DumpFolder dumps;
  CtClient client;
  ASSERT_TRUE(client.connect("PRTVR"));
  client.execute("use sales");
  EXPECT_TRUE(hasMessage(client.execute(spTvrCall(1, "sales", 1, 0, dumps.withSeparator(), "x.tr")), 2812));

  ASSERT_TRUE(installSpTvr(client).empty());
  ASSERT_TRUE(installSpTvr(client).empty());  // running it again replaces the procedure
  client.execute("use sales");
  CtBatch missing = client.execute("execute sp_TVR @TypeTrans=1, @database_name=\"sales\"");
  EXPECT_TRUE(hasMessage(missing, 201));

  // @pr_dump wins over @pr_load: a dump, no load.
  CtBatch both = client.execute(spTvrCall(1, "sales", 1, 1, dumps.withSeparator(), "both.tr"));
  EXPECT_EQ(lastStatus(both), 1);
  EXPECT_TRUE(saysSomething(both, "Start Dump"));
  EXPECT_FALSE(saysSomething(both, "Start Load"));
  EXPECT_TRUE(std::filesystem::exists(dumps.file("both.tr")));

  // A NULL device name on a transaction load: nothing is loaded, status 1.
  CtBatch nothing = client.execute("execute sp_TVR @TypeTrans=1, @database_name=\"sales\", @pr_dump=0, @pr_load=1, "
                                   "@pathname=\"" + dumps.withSeparator() + "\", @device_name=NULL");
  EXPECT_EQ(lastStatus(nothing), 1);
  EXPECT_TRUE(saysSomething(nothing, "Start Load"));
  EXPECT_FALSE(hasMessage(nothing, 8009));

  // The database name is cut to 30 characters, the file name too.
  const std::string longName = "a_database_name_of_thirty_char_and_more";
  CtBatch cut = client.execute(spTvrCall(0, longName, 1, 0, dumps.withSeparator(), "file_name_of_thirty_characters_plus.db"));
  EXPECT_EQ(lastStatus(cut), 1);
  EXPECT_TRUE(std::filesystem::exists(dumps.file("file_name_of_thirty_characters")));

  // A failing dump prints the error and returns it negated; messages name the procedure.
  CtBatch failed = client.execute(spTvrCall(1, "no_such_db", 1, 0, dumps.withSeparator(), "x.tr"));
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
