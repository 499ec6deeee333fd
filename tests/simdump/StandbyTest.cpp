// A reserve database brought online for standby access, as a client sees it through libct:
// readable between transaction loads, still in its load sequence while nothing changes it.
#include <gtest/gtest.h>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

TEST(Standby, OnlineForStandbyAccessKeepsTheLoadSequenceUntilTheDatabaseChanges) {
    Emulator server("STANDBY", {"sales", "copy"});
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("STANDBY"));
    auto run = [&](const std::string& statement, const std::string& file) {
        return client.execute(statement + " " + dumps.quoted(file));
    };
    ASSERT_FALSE(client.execute("use sales").failed());
    ASSERT_FALSE(client.execute("create table t (i int)").failed());
    ASSERT_FALSE(client.execute("insert t values (1)").failed());
    ASSERT_FALSE(run("dump database sales to", "full.db").failed());
    ASSERT_FALSE(run("load database copy from", "full.db").failed());
    ASSERT_FALSE(client.execute("insert t values (2)").failed());
    ASSERT_FALSE(client
                     .execute("dump tran sales to \"" + dumps.file("one.tr").string() +
                              "\" with standby_access")
                     .failed());
    ASSERT_FALSE(run("load tran copy from", "one.tr").failed());

    CtBatch online = client.execute("online database copy for standby_access");
    EXPECT_FALSE(online.failed());
    EXPECT_TRUE(saysSomething(online, "Database 'copy' is now online."));
    EXPECT_EQ(rowsText(client, "select count(*) from copy..t"), "2|\n");

    // The next transaction load goes on the sequence; the database is offline again after it.
    ASSERT_FALSE(client.execute("insert t values (3)").failed());
    ASSERT_FALSE(run("dump tran sales to", "two.tr").failed());
    EXPECT_FALSE(run("load tran copy from", "two.tr").failed());
    EXPECT_TRUE(hasMessage(client.execute("use copy"), 950));
    ASSERT_FALSE(client.execute("online database copy for standby_access").failed());
    EXPECT_EQ(rowsText(client, "select count(*) from copy..t"), "3|\n");

    // A change to the standby database ends its load sequence.
    ASSERT_FALSE(client.execute("use copy").failed());
    ASSERT_FALSE(client.execute("insert t values (9)").failed());
    ASSERT_FALSE(client.execute("use sales").failed());
    ASSERT_FALSE(client.execute("insert t values (4)").failed());
    ASSERT_FALSE(run("dump tran sales to", "three.tr").failed());
    EXPECT_TRUE(hasMessage(run("load tran copy from", "three.tr"), 4306));
}

}  // namespace
