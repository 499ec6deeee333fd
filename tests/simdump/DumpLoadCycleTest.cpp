// The whole dump-shipping cycle through the Client-Library, as the program drives it: the
// procedure installed from its script, a full dump on one emulator and a load on another into a
// database of another name, changes on the main, transaction dumps and loads, online database,
// and the refusals on the way (out of sequence, in use, damaged files).
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

class DumpLoadCycle : public ::testing::Test {
protected:
    DumpLoadCycle() : main_("CYMAIN", {"sales"}), reserve_("CYRES", {"sales_copy"}) {}

    void SetUp() override {
        ASSERT_TRUE(mainClient_.connect("CYMAIN"));
        ASSERT_TRUE(reserveClient_.connect("CYRES"));
        ASSERT_TRUE(installSpTvr(mainClient_).empty());
        ASSERT_TRUE(installSpTvr(reserveClient_).empty());
        for (const char* sql :
             {"use sales",
              "create table t (id int not null, name varchar(30) null, at datetime null)",
              "insert into t values (1, 'one', '2026-12-01 10:00:00')",
              "insert into t values (2, 'two', NULL)", "use master"})
            ASSERT_FALSE(mainClient_.execute(sql).failed()) << sql;
    }

    CtBatch dump(int type, const std::string& file) {
        mainClient_.execute("use master");
        return mainClient_.execute(spTvrCall(type, "sales", 1, 0, dumps_.folder(), file));
    }
    // A change to the main's database, made from inside it.
    void changeMain(const std::string& sql) {
        mainClient_.execute("use sales");
        ASSERT_FALSE(mainClient_.execute(sql).failed()) << sql;
        mainClient_.execute("use master");
    }
    CtBatch load(int type, const std::string& file) {
        reserveClient_.execute("use master");
        return reserveClient_.execute(spTvrCall(type, "sales_copy", 0, 1, dumps_.folder(), file));
    }

    DumpFolder dumps_;
    Emulator main_;
    Emulator reserve_;
    CtClient mainClient_;
    CtClient reserveClient_;
};

TEST_F(DumpLoadCycle, FullThenTransactionPassesKeepTheReserveInStep) {
    // The text is kept as sent: sp_helptext gives back the procedure's batch byte for byte.
    mainClient_.execute("use sybsystemprocs");
    const auto help = mainClient_.execute("sp_helptext sp_TVR").rowResults();
    ASSERT_EQ(help.size(), 2u);
    std::string text;
    for (const auto& row : help[1].rows) text += row.at(0).value_or("");
    EXPECT_EQ(text, tvr::client::SplitScript(spTvrScript()).at(2));

    CtBatch dumped = dump(0, "sales.db");
    EXPECT_EQ(lastStatus(dumped), 1);
    EXPECT_TRUE(saysSomething(dumped, "Start Dump"));
    EXPECT_TRUE(
        saysSomething(dumped, "Backup Server: 3.42.1.1: DUMP is complete (database sales)."));
    for (const CtMessage& m : dumped.messages()) EXPECT_LE(m.severity, 10) << m.text;

    CtBatch loaded = load(0, "sales.db");
    EXPECT_EQ(lastStatus(loaded), 1);
    EXPECT_TRUE(saysSomething(loaded, "Start Load"));
    // Loading: offline until online database.
    CtBatch refused = reserveClient_.execute("use sales_copy");
    EXPECT_TRUE(hasMessage(refused, 950));
    EXPECT_TRUE(reserveClient_.execute("select count(*) from sales_copy..t").failed());

    for (const char* sql : {"use sales", "insert into t values (3, 'three', getdate())",
                            "update t set name = 'uno' where id = 1", "delete from t where id = 2",
                            "create table u (k int, m money null)", "insert into u values (7, 0)",
                            "update u set m = -922337203685477.5808 where m = 0", "use master"})
        ASSERT_FALSE(mainClient_.execute(sql).failed()) << sql;
    EXPECT_EQ(lastStatus(dump(1, "sales1.tr")), 1);
    EXPECT_EQ(lastStatus(load(1, "sales1.tr")), 1);
    changeMain("insert into t values (4, 'four', NULL)");
    EXPECT_EQ(lastStatus(dump(1, "sales2.tr")), 1);
    EXPECT_EQ(lastStatus(load(1, "sales2.tr")), 1);

    EXPECT_FALSE(reserveClient_.execute("online database sales_copy").failed());
    EXPECT_FALSE(reserveClient_.execute("use sales_copy").failed());
    EXPECT_EQ(rowsText(reserveClient_, "select id, name, at from t order by id"),
              rowsText(mainClient_, "select id, name, at from sales..t order by id"));
    EXPECT_EQ(rowsText(reserveClient_, "select k, m from u"), "7|-922337203685477.5808|\n");
    EXPECT_EQ(rowsText(reserveClient_, "select count(*) from t"), "3|\n");

    // The state survives a restart of the reserve.
    reserveClient_.close();
    reserve_.stop();
    reserve_.start();
    CtClient again;
    ASSERT_TRUE(again.connect("CYRES"));
    EXPECT_FALSE(again.execute("use sales_copy").failed());
}

TEST_F(DumpLoadCycle, ALoadSequenceGoesOnAfterTheReserveRestarts) {
    ASSERT_EQ(lastStatus(dump(0, "sales.db")), 1);
    ASSERT_EQ(lastStatus(load(0, "sales.db")), 1);
    changeMain("insert into t values (3, 'three', NULL)");
    ASSERT_EQ(lastStatus(dump(1, "t1.tr")), 1);

    reserveClient_.close();
    reserve_.stop();
    reserve_.start();
    CtClient again;
    ASSERT_TRUE(again.connect("CYRES"));
    EXPECT_TRUE(hasMessage(again.execute("use sales_copy"), 950));  // still loading
    again.execute("use master");
    EXPECT_EQ(lastStatus(again.execute(spTvrCall(1, "sales_copy", 0, 1, dumps_.folder(), "t1.tr"))),
              1);
    EXPECT_FALSE(again.execute("online database sales_copy").failed());
    EXPECT_EQ(rowsText(again, "select count(*) from sales_copy..t"), "3|\n");
}

TEST_F(DumpLoadCycle, TransactionLoadsOutOfSequenceOrIntoABusyDatabaseAreRefused) {
    // Another connection using the target: the load is refused and the database stays as it was.
    CtClient user;
    ASSERT_TRUE(user.connect("CYRES"));
    ASSERT_FALSE(user.execute("use sales_copy").failed());
    ASSERT_EQ(lastStatus(dump(0, "sales.db")), 1);
    CtBatch busy = load(0, "sales.db");
    EXPECT_EQ(lastStatus(busy), -3101);
    EXPECT_TRUE(hasMessage(busy, 3101));
    EXPECT_FALSE(user.execute("select 1").failed());
    user.execute("use master");

    ASSERT_EQ(lastStatus(load(0, "sales.db")), 1);
    changeMain("insert into t values (3, 'three', NULL)");
    ASSERT_EQ(lastStatus(dump(1, "t1.tr")), 1);
    changeMain("insert into t values (4, 'four', NULL)");
    ASSERT_EQ(lastStatus(dump(1, "t2.tr")), 1);

    CtBatch skipped = load(1, "t2.tr");
    EXPECT_EQ(lastStatus(skipped), -4305);
    bool found = false;
    for (const CtMessage& m : skipped.messages())
        if (m.number == 4305) {
            found = true;
            EXPECT_EQ(m.severity, 16);
            EXPECT_NE(m.text.find("is out of sequence"), std::string::npos);
        }
    EXPECT_TRUE(found);
    EXPECT_EQ(lastStatus(load(1, "t1.tr")), 1);
    EXPECT_EQ(lastStatus(load(1, "t1.tr")), -4305);  // the same one twice
    EXPECT_EQ(lastStatus(load(1, "t2.tr")), 1);

    // Once online, the sequence is over.
    reserveClient_.execute("online database sales_copy");
    changeMain("insert into t values (5, 'five', NULL)");
    ASSERT_EQ(lastStatus(dump(1, "t3.tr")), 1);
    EXPECT_EQ(lastStatus(load(1, "t3.tr")), -4306);
    EXPECT_EQ(rowsText(reserveClient_, "select count(*) from sales_copy..t"), "4|\n");
}

TEST_F(DumpLoadCycle, DamagedDumpFilesAreRefusedAndChangeNothing) {
    ASSERT_FALSE(reserveClient_.execute("create table sales_copy..keep (x int)").failed());
    ASSERT_FALSE(reserveClient_.execute("insert into sales_copy..keep values (42)").failed());
    ASSERT_EQ(lastStatus(dump(0, "sales.db")), 1);
    const auto full = dumps_.file("sales.db");
    const auto size = std::filesystem::file_size(full);
    std::filesystem::copy_file(full, dumps_.file("cut.db"));
    std::filesystem::resize_file(dumps_.file("cut.db"), size - 1000);
    std::filesystem::copy_file(full, dumps_.file("bad.db"));
    {
        std::fstream f(dumps_.file("bad.db"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(size / 2));
        f.put('\x55');
        f.put('\xAA');
    }
    for (const char* name : {"cut.db", "bad.db", "missing.db"}) {
        CtBatch refused = load(0, name);
        EXPECT_EQ(lastStatus(refused), -8009) << name;
        EXPECT_TRUE(saysSomething(refused, "Backup Server: ")) << name;
        EXPECT_EQ(rowsText(reserveClient_, "select x from sales_copy..keep"), "42|\n") << name;
    }
    // A dump into a folder that does not exist fails the way the server reports it.
    mainClient_.execute("use master");
    CtBatch nowhere =
        mainClient_.execute(spTvrCall(0, "sales", 1, 0, dumps_.folder() + "/no/such", "x.db"));
    EXPECT_EQ(lastStatus(nowhere), -8009);
    EXPECT_TRUE(saysSomething(nowhere, "LOG DUMP ERROR: 8009"));
    EXPECT_TRUE(saysSomething(nowhere, "No such file or directory"));
}

}  // namespace
