// What a failover relies on, through libct: the tail of the log saved from a database whose
// data is damaged, a dump that keeps the log, and a load stopped part way that no online
// database may bring back until the load sequence starts again.
#include <gtest/gtest.h>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

class FailoverSupport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(client_.connect("FOSUP"));
        ASSERT_FALSE(client_.execute("use sales").failed());
        ASSERT_FALSE(client_.execute("create table t (i int)").failed());
        ASSERT_FALSE(client_.execute("insert t values (1)").failed());
        ASSERT_FALSE(run("dump database sales to", "full.db").failed());
        ASSERT_FALSE(run("load database copy from", "full.db").failed());
    }
    // The database's status bits 32 ("for load") and 256 ("suspect"), and status2 16
    // ("offline"), as "32 256 16" with 0 for each bit not set, read with the program's query.
    std::string loadBits(const std::string& database) {
        const auto results = client_
                                 .execute(
                                     "select status, status2 from master..sysdatabases "
                                     "where name = \"" +
                                     database + "\"")
                                 .rowResults();
        if (results.size() != 1 || results[0].rows.size() != 1) return "<no row>";
        const auto& row = results[0].rows[0];
        const int status = std::stoi(row.at(0).value_or("0"));
        const int status2 = std::stoi(row.at(1).value_or("0"));
        return std::to_string(status & 32) + " " + std::to_string(status & 256) + " " +
               std::to_string(status2 & 16);
    }
    CtBatch run(const std::string& statement, const std::string& file,
                const std::string& options = "") {
        return client_.execute(statement + " " + dumps_.quoted(file) + options);
    }

    Emulator server_{"FOSUP", {"sales", "copy"}};
    DumpFolder dumps_;
    CtClient client_;
};

TEST_F(FailoverSupport, SysdatabasesShowsWhereADatabaseStandsInItsLoadSequence) {
    ASSERT_FALSE(client_.execute("insert t values (2)").failed());
    ASSERT_FALSE(run("dump tran sales to", "one.tr").failed());
    struct Step {
        const char* statement;  // run before the check; null for none
        const char* file;       // the dump it names; null for none
        const char* database;
        const char* bits;
    };
    const Step steps[] = {
        {"create database plain", nullptr, "plain", "0 0 0"},  // online at once
        {nullptr, nullptr, "copy", "32 0 16"},  // after load database: offline, loading
        {"load tran copy from", "one.tr", "copy", "32 0 16"},
        {"online database copy", nullptr, "copy", "0 0 0"},
        {"create database fresh for load", nullptr, "fresh", "32 0 16"},
    };
    for (const Step& step : steps) {
        if (step.statement) {
            CtBatch done =
                step.file ? run(step.statement, step.file) : client_.execute(step.statement);
            ASSERT_FALSE(done.failed()) << step.statement;
        }
        // The same answer whatever the connection's current database.
        for (const char* current : {"master", "sales", "sybsystemprocs"}) {
            ASSERT_FALSE(client_.execute(std::string("use ") + current).failed());
            EXPECT_EQ(loadBits(step.database), step.bits)
                << (step.statement ? step.statement : "") << " " << step.database << " from "
                << current;
        }
    }
}

TEST_F(FailoverSupport, ADamagedDatabaseGivesUpItsLogOnlyToADumpThatKeepsIt) {
    CtClient inside;  // a connection already using the database when it is damaged
    ASSERT_TRUE(inside.connect("FOSUP"));
    ASSERT_FALSE(inside.execute("use sales").failed());
    ASSERT_FALSE(client_.execute("insert t values (2)").failed());

    ASSERT_FALSE(client_.execute("emulator fault damage sales").failed());
    EXPECT_TRUE(hasMessage(inside.execute("select count(*) from t"), 926));
    EXPECT_TRUE(hasMessage(client_.execute("use master"), 5701));
    for (const char* statement :
         {"use sales", "select count(*) from sales..t", "dump tran sales with truncate_only"})
        EXPECT_TRUE(hasMessage(client_.execute(statement), 926)) << statement;
    EXPECT_TRUE(hasMessage(run("dump database sales to", "again.db"), 926));
    EXPECT_TRUE(hasMessage(run("dump tran sales to", "plain.tr"), 926));
    EXPECT_FALSE(std::filesystem::exists(dumps_.file("plain.tr")));

    // The log is kept: a second such dump holds the same records.
    EXPECT_FALSE(run("dump tran sales to", "tail.tr", " with no_truncate").failed());
    EXPECT_FALSE(run("dump transaction sales to", "tail2.tr", " with init, no_truncate").failed());
    EXPECT_FALSE(run("load tran copy from", "tail2.tr").failed());
    EXPECT_FALSE(client_.execute("online database copy").failed());
    EXPECT_EQ(rowsText(client_, "select count(*) from copy..t"), "2|\n");

    // The mark survives a restart; a load database over the damaged database clears it.
    inside.close();
    client_.close();
    server_.stop();
    server_.start();
    ASSERT_TRUE(client_.connect("FOSUP"));
    EXPECT_TRUE(hasMessage(client_.execute("use sales"), 926));
    EXPECT_FALSE(run("load database sales from", "full.db").failed());
    EXPECT_FALSE(client_.execute("online database sales").failed());
    EXPECT_EQ(rowsText(client_, "select count(*) from sales..t"), "1|\n");
}

TEST_F(FailoverSupport, ADumpWithNoTruncateLeavesTheLogForTheNextDump) {
    ASSERT_FALSE(client_.execute("insert t values (2)").failed());
    ASSERT_FALSE(run("dump tran sales to", "kept.tr", " with no_truncate").failed());
    ASSERT_FALSE(client_.execute("insert t values (3)").failed());
    ASSERT_FALSE(run("dump tran sales to", "next.tr").failed());
    EXPECT_FALSE(run("load tran copy from", "next.tr").failed());
    EXPECT_FALSE(client_.execute("online database copy").failed());
    EXPECT_EQ(rowsText(client_, "select count(*) from copy..t"), "3|\n");
}

TEST_F(FailoverSupport, ALoadStoppedPartWayKeepsTheDatabaseFromComingOnline) {
    ASSERT_FALSE(client_.execute("insert t values (2)").failed());
    ASSERT_FALSE(run("dump tran sales to", "one.tr").failed());

    // The interrupt waits for a load: the dump before it goes through.
    ASSERT_FALSE(client_.execute("emulator fault interrupt").failed());
    ASSERT_FALSE(run("dump database sales to", "full2.db").failed());
    CtBatch stopped = run("load database copy from", "full.db");
    EXPECT_TRUE(hasMessage(stopped, 8009));

    EXPECT_TRUE(hasMessage(client_.execute("online database copy"), 926));
    EXPECT_TRUE(hasMessage(client_.execute("use copy"), 926));
    EXPECT_TRUE(hasMessage(run("load tran copy from", "one.tr"), 4306));

    // A new sequence from the database dump brings it back.
    ASSERT_FALSE(run("load database copy from", "full.db").failed());
    ASSERT_FALSE(run("load tran copy from", "one.tr").failed());
    EXPECT_FALSE(client_.execute("online database copy").failed());
    EXPECT_EQ(rowsText(client_, "select count(*) from copy..t"), "2|\n");

    // A transaction load stopped half way breaks the sequence in the same way.
    ASSERT_FALSE(run("load database copy from", "full.db").failed());
    ASSERT_FALSE(client_.execute("emulator fault interrupt").failed());
    EXPECT_TRUE(hasMessage(run("load tran copy from", "one.tr"), 8009));
    EXPECT_TRUE(hasMessage(client_.execute("online database copy"), 926));
}

}  // namespace
