// Every change to a user database must reach a reserve loaded from its dumps: the changes made
// from another database through db..table and db.owner.table, inside transactions, with the
// connection's functions and the server's text functions, and none of the changes to other
// databases. What the log cannot replay is refused before it changes anything.
#include <gtest/gtest.h>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

class ChangeLogging : public ::testing::Test {
protected:
    ChangeLogging() : main_("LGMAIN", {"sales", "other"}), reserve_("LGRES", {"sales_copy"}) {}

    void SetUp() override {
        ASSERT_TRUE(mainClient_.connect("LGMAIN", "sa", "", "shipping-test", "loghost"));
        ASSERT_TRUE(reserveClient_.connect("LGRES"));
        ASSERT_TRUE(installSpTvr(mainClient_).empty());
        ASSERT_TRUE(installSpTvr(reserveClient_).empty());
        for (const char* sql :
             {"use sales", "create table t (id int not null, name varchar(40) null)",
              "insert into t values (1, 'one')", "insert into t values (2, 'two')", "use master"})
            ASSERT_FALSE(mainClient_.execute(sql).failed()) << sql;
        ASSERT_EQ(lastStatus(ship(0, "sales.db")), 1);
    }

    // Dumps the main's sales and loads it into the reserve's sales_copy; the last status.
    CtBatch ship(int type, const std::string& file) {
        mainClient_.execute("use master");
        CtBatch dumped = mainClient_.execute(spTvrCall(type, "sales", 1, 0, dumps_.folder(), file));
        if (lastStatus(dumped) != 1) return dumped;
        reserveClient_.execute("use master");
        return reserveClient_.execute(spTvrCall(type, "sales_copy", 0, 1, dumps_.folder(), file));
    }
    void run(CtClient& client, const std::string& sql) {
        ASSERT_FALSE(client.execute(sql).failed()) << sql;
    }
    // The reserve's table once the log is shipped and the copy is online.
    std::string reserveRows(const std::string& query) {
        EXPECT_EQ(lastStatus(ship(1, "sales1.tr")), 1);
        EXPECT_FALSE(reserveClient_.execute("online database sales_copy").failed());
        return rowsText(reserveClient_, query);
    }

    DumpFolder dumps_;
    Emulator main_;
    Emulator reserve_;
    CtClient mainClient_;
    CtClient reserveClient_;
};

TEST_F(ChangeLogging, ChangesMadeFromAnotherDatabaseReachTheReserve) {
    run(mainClient_, "use master");
    run(mainClient_, "insert sales..t values (3, 'three')");
    run(mainClient_, "update sales.dbo.t set name = 'uno' where id = 1");
    run(mainClient_, "delete from sales..t where id = 2");
    run(mainClient_, "create table sales..u (k int)");
    run(mainClient_, "insert into sales.dbo.u values (7)");
    // From another user database too, and with the database named while it is current.
    run(mainClient_, "use other");
    run(mainClient_, "insert sales..t values (4, 'four')");
    run(mainClient_, "use sales");
    run(mainClient_, "insert sales..t values (5, 'five')");
    // A change to a system database from inside sales is not sales' change: its replay would fail.
    run(mainClient_, "create table tempdb..scratch (x int)");
    run(mainClient_, "insert tempdb..scratch values (1)");
    run(mainClient_, "use master");

    const std::string wanted = "1|uno|\n3|three|\n4|four|\n5|five|\n";
    EXPECT_EQ(rowsText(mainClient_, "select id, name from sales..t order by id"), wanted);
    EXPECT_EQ(reserveRows("select id, name from sales_copy..t order by id"), wanted);
    EXPECT_EQ(rowsText(reserveClient_, "select k from sales_copy..u"), "7|\n");
}

TEST_F(ChangeLogging, TransactionsFromAnotherDatabaseShipWhatTheyCommit) {
    run(mainClient_, "use master");
    run(mainClient_, "select count(*) from sales..t");  // reaches sales before the transactions
    run(mainClient_, "begin tran");
    run(mainClient_, "insert sales..t values (3, 'kept')");
    run(mainClient_, "update sales..t set name = 'kept too' where id = 1");
    run(mainClient_, "commit");
    run(mainClient_, "begin transaction");
    run(mainClient_, "insert sales..t values (4, 'undone')");
    // A statement that fails inside the transaction leaves neither its change nor its record.
    EXPECT_TRUE(mainClient_.execute("insert sales..t values (NULL, 'no id')").failed());
    run(mainClient_, "rollback");
    run(mainClient_, "begin tran");
    EXPECT_TRUE(mainClient_.execute("insert sales..t values (NULL, 'no id')").failed());
    run(mainClient_, "insert sales..t values (5, 'after a failure')");
    run(mainClient_, "commit");

    // A database first reached inside a transaction is refused clearly, and the transaction goes on.
    CtClient fresh;
    ASSERT_TRUE(fresh.connect("LGMAIN"));
    run(fresh, "begin tran");
    CtBatch refused = fresh.execute("insert sales..t values (6, 'late')");
    EXPECT_TRUE(refused.failed());
    EXPECT_TRUE(saysSomething(refused, "inside a transaction"));
    run(fresh, "rollback");

    const std::string wanted = "1|kept too|\n2|two|\n3|kept|\n5|after a failure|\n";
    EXPECT_EQ(rowsText(mainClient_, "select id, name from sales..t order by id"), wanted);
    EXPECT_EQ(reserveRows("select id, name from sales_copy..t order by id"), wanted);
}

TEST_F(ChangeLogging, ReplayGivesTheValuesTheChangeHad) {
    run(mainClient_, "use sales");
    run(mainClient_, "insert t values (3, db_name())");
    run(mainClient_, "insert t values (4, user_name() + '@' + host_name())");
    run(mainClient_, "insert t values (5, app_name())");
    run(mainClient_,
        "insert t values (6, replicate('ab', 2) + '/' + str_replace('a-b', '-', '+'))");
    run(mainClient_,
        "update t set name = name + '!' where charindex('w', name) > 0 and char_length(name) = 3");
    run(mainClient_, "use master");
    run(mainClient_, "insert sales..t values (7, db_name())");

    const std::string wanted =
        "1|one|\n2|two!|\n3|sales|\n4|sa@loghost|\n5|shipping-test|\n6|abab/a+b|\n7|master|\n";
    EXPECT_EQ(rowsText(mainClient_, "select id, name from sales..t order by id"), wanted);
    EXPECT_EQ(reserveRows("select id, name from sales_copy..t order by id"), wanted);
}

TEST_F(ChangeLogging, ChangesTheLogCannotReplayAreRefusedAndChangeNothing) {
    run(mainClient_, "use other");
    run(mainClient_, "create table names (id int, name varchar(40))");
    run(mainClient_, "insert names values (9, 'nine')");
    for (const char* sql : {"use sales", "use master", "use other"}) {
        run(mainClient_, sql);
        for (const char* change :
             {"insert sales..t select id, name from other..names",
              "insert sales..t select dbid, name from master..sysdatabases",
              "update sales..t set name = (select max(name) from other..names)"}) {
            CtBatch refused = mainClient_.execute(change);
            EXPECT_TRUE(refused.failed()) << sql << ": " << change;
            EXPECT_TRUE(saysSomething(refused, "reads database")) << sql << ": " << change;
        }
    }
    // Reading the changed database itself is what replays, from wherever it runs.
    run(mainClient_, "use master");
    run(mainClient_, "insert sales..t select id + 10, name from sales..t");

    const std::string wanted = "1|one|\n2|two|\n11|one|\n12|two|\n";
    EXPECT_EQ(rowsText(mainClient_, "select id, name from sales..t order by id"), wanted);
    EXPECT_EQ(reserveRows("select id, name from sales_copy..t order by id"), wanted);
}

}  // namespace
