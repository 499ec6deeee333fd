// The size of a database as a client meets it through libct: given when the database is made
// (create database, or aseemu --database NAME:SIZE_MB), listed by sp_helpdb, kept across a
// restart, and checked by load database, which refuses a target smaller than the dumped
// database before it touches it.
#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"
#include "tests/support/TempFolder.h"

using namespace tvr::testing;

namespace {

std::string dbSize(CtClient& client, const std::string& database) {
    const auto results = client.execute("sp_helpdb " + database).rowResults();
    if (results.empty() || results[0].rows.size() != 1) return "<no row>";
    return results[0].rows[0].at(1).value_or("NULL");
}

TEST(DatabaseSizes, SizesGivenWhenMadeAreListedAndKeptAcrossARestart) {
    EmulatorOptions options;
    options.name = "SIZES";
    options.databases = {"plain", "sized:20"};
    Emulator server(options);
    struct Made {
        const char* statement;  // empty: made by the command line
        const char* database;
        const char* listed;
    };
    const Made made[] = {
        {"", "plain", "       2.0 MB"},
        {"", "sized", "      20.0 MB"},
        {"create database bare", "bare", "       2.0 MB"},
        {"create database apart on datadev = 10 log on logdev = 5", "apart", "      15.0 MB"},
        {"create database pieces on d1 = 3, d2 = '1G' with override", "pieces", "    1027.0 MB"},
        {"create database half on default = '512K'", "half", "       0.5 MB"},
        {"create database logonly on d = 3 log on l", "logonly", "       5.0 MB"},
    };
    {
        CtClient client;
        ASSERT_TRUE(client.connect("SIZES"));
        for (const Made& m : made) {
            if (*m.statement != '\0') {
                ASSERT_FALSE(client.execute(m.statement).failed()) << m.statement;
            }
        }
        for (const char* refused :
             {"create database zero on d = 0", "create database word on d = x",
              "create database neg on d = -1"})
            EXPECT_TRUE(hasMessage(client.execute(refused), 102)) << refused;
        for (const char* missing : {"zero", "word", "neg"})
            EXPECT_EQ(dbSize(client, missing), "<no row>") << missing;
    }
    server.stop();
    server.start();
    CtClient client;
    ASSERT_TRUE(client.connect("SIZES"));
    for (const Made& m : made) EXPECT_EQ(dbSize(client, m.database), m.listed) << m.database;
}

TEST(DatabaseSizes, LoadIntoASmallerDatabaseIsRefusedBeforeItTouchesIt) {
    EmulatorOptions options;
    options.name = "ROOM";
    options.databases = {"big:20", "small", "roomy:30"};
    Emulator server(options);
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("ROOM"));
    auto run = [&](const std::string& statement, const std::string& file) {
        return client.execute(statement + " " + dumps.quoted(file));
    };
    ASSERT_FALSE(client.execute("create table small..kept (i int)").failed());
    ASSERT_FALSE(client.execute("insert small..kept values (7)").failed());
    ASSERT_FALSE(run("dump database big to", "big.db").failed());

    CtBatch refused = run("load database small from", "big.db");
    EXPECT_TRUE(refused.failed());
    bool found = false;
    for (const CtMessage& m : refused.messages())
        if (m.number == 3105) {
            found = true;
            EXPECT_EQ(m.severity, 16);
            EXPECT_EQ(m.text,
                      "Data on dump will not fit into current database. Need 20 Mbyte "
                      "database.\n");
        }
    EXPECT_TRUE(found);
    // Untouched and still online.
    EXPECT_EQ(rowsText(client, "select i from small..kept"), "7|\n");

    // As large or larger: loaded.
    EXPECT_FALSE(run("load database roomy from", "big.db").failed());
    ASSERT_FALSE(run("dump database small to", "small.db").failed());
    EXPECT_FALSE(run("load database big from", "small.db").failed());
    EXPECT_EQ(dbSize(client, "big"), "      20.0 MB");  // a load keeps the target's size
}

TEST(DatabaseSizes, ASizeOnTheCommandLineMustBeAPositiveNumberOfMegabytes) {
    for (const char* bad : {"x:0", "x:-1", "x:", "x:abc", "x:2.5", "x:4194305"}) {
        tvr::testing::TempFolder data("tvr-sizes");
        tvr::testing::ChildProcess aseemu(tvr::testing::binDir() + "/aseemu",
                                          {"--data", data.path().string(), "--database", bad});
        const auto status = aseemu.wait();
        ASSERT_TRUE(status.has_value()) << bad;
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2) << bad;
    }
}

}  // namespace
