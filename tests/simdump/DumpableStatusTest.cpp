// tran_dumpable_status as a client asks it before a transaction dump: each reason the server
// refuses one has its bit, and the answer is 0 exactly when the dump goes through.
#include <gtest/gtest.h>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

TEST(DumpableStatus, EachRefusalHasItsBitAndZeroMeansTheDumpGoesThrough) {
    EmulatorOptions options;
    options.name = "DUMPABLE";
    options.databases = {"sales"};
    options.extraArgs = {"--mixed-log", "mixed"};
    Emulator server(options);
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("DUMPABLE"));
    ASSERT_FALSE(client.execute("use sales create table t (i int)").failed());
    ASSERT_FALSE(client.execute("sp_dboption sales, 'select into', true").failed());
    int file = 0;
    auto status = [&](const std::string& database) {
        return rowsText(client, "select tran_dumpable_status('" + database + "')");
    };
    // The answer for sales, then whether a transaction dump agrees with it.
    auto expectSales = [&](int bits, const std::string& situation) {
        EXPECT_EQ(status("sales"), std::to_string(bits) + "|\n") << situation;
        const CtBatch dump = client.execute("dump tran sales to " +
                                            dumps.quoted("t" + std::to_string(++file) + ".tr"));
        EXPECT_EQ(dump.failed(), bits != 0) << situation;
    };
    auto dumpDatabase = [&] {
        ASSERT_FALSE(client
                         .execute("dump database sales to " +
                                  dumps.quoted("d" + std::to_string(++file) + ".db"))
                         .failed());
    };

    EXPECT_EQ(status("nosuchdb"), "1|\n");
    expectSales(64, "never dumped");
    dumpDatabase();
    expectSales(0, "dumped");
    ASSERT_FALSE(client.execute("dump tran sales with truncate_only").failed());
    expectSales(32, "truncated since its dump");
    dumpDatabase();
    ASSERT_FALSE(client.execute("select * into t2 from t").failed());
    expectSales(16, "written without log records");
    dumpDatabase();
    ASSERT_FALSE(client.execute("sp_dboption sales, 'trunc log on chkpt', true").failed());
    expectSales(8, "trunc log on chkpt");
    ASSERT_FALSE(client.execute("sp_dboption sales, 'trunc log on chkpt', false").failed());
    expectSales(0, "the option taken back");

    // A log on the data's device, in a database never dumped: both reasons at once.
    EXPECT_EQ(status("mixed"), "66|\n");
}
