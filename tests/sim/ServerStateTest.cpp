// What the server keeps under its data folder across restarts: the catalog, each database's
// state, the transaction log; and what it throws away (tempdb).
#include "sim/statements/BatchRunner.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/storage/TransactionLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

using namespace tvr::sim;

namespace {

class NullSink : public NullResultSink {
public:
    std::vector<int> messages;
    void message(const ServerMessage& m) override { messages.push_back(m.number); }
};

class ServerFolder : public ::testing::Test {
protected:
    ServerOptions options(std::vector<std::string> databases = {"pubs2"}) const {
        ServerOptions result;
        result.name = "STATE";
        result.dataDir = folder_.string();
        result.databases = std::move(databases);
        result.logins = {{"sa", ""}};
        return result;
    }

    // Runs a batch on a fresh connection and returns the numbers of the messages it produced.
    std::vector<int> run(ServerState& state, const std::string& batch) {
        static const CommandSet commands = makeStandardCommands();
        NullSink sink;
        ExecutionContext context(state, commands, sink, 1);
        runBatch(context, batch);
        return sink.messages;
    }

    tvr::testing::TempFolder folder_{"tvr-state"};
};

}  // namespace

TEST_F(ServerFolder, DatabaseStatesSurviveARestartAndGuardTheirDatabase) {
    {
        ServerState state(options());
        EXPECT_EQ(state.findDatabase("pubs2")->state, DatabaseState::Online);
        state.setDatabaseState("pubs2", DatabaseState::Loading);
        EXPECT_EQ(run(state, "use pubs2"), std::vector<int>{950});
        EXPECT_EQ(run(state, "select * from pubs2..anything"), std::vector<int>{950});
    }
    {
        ServerState state(options());
        EXPECT_EQ(state.findDatabase("pubs2")->state, DatabaseState::Loading);
        state.setDatabaseState("pubs2", DatabaseState::Offline);
    }
    ServerState state(options());
    EXPECT_EQ(state.findDatabase("pubs2")->state, DatabaseState::Offline);
    state.setDatabaseState("pubs2", DatabaseState::Online);
    EXPECT_EQ(run(state, "use pubs2"), std::vector<int>{5701});
}

TEST_F(ServerFolder, UserDatabasesAreCreatedOnceAndTempdbStartsEmpty) {
    {
        ServerState state(options());
        EXPECT_TRUE(run(state,
                        "use pubs2 create table kept (n int) insert kept values (1) "
                        "use tempdb create table scratch (n int)")
                        .size() == 2);
    }
    ServerState state(options({"pubs2", "sales"}));
    std::vector<std::string> names;
    for (const DatabaseInfo& info : state.databases()) names.push_back(info.name);
    EXPECT_EQ(names, (std::vector<std::string>{"master", "model", "pubs2", "sales", "sybsystemdb",
                                               "sybsystemprocs", "tempdb"}));
    EXPECT_EQ(run(state, "select n from pubs2..kept"), std::vector<int>{});
    EXPECT_EQ(run(state, "select n from tempdb..scratch"), std::vector<int>{208});
    EXPECT_EQ(state.findDatabase("sales")->id, 5);
}

TEST_F(ServerFolder, ChangesToUserDatabasesAreLoggedInOrderAndReadsAreNot) {
    ServerState state(options());
    run(state,
        "use pubs2 create table t (n int, at datetime) insert t values (1, getdate()) "
        "select * from t update t set n = 2 delete t where n = 5 "
        "begin tran insert t values (3, null) rollback tran "
        "use master create table notlogged (n int)");
    SqliteDatabase db(state.databasePath("pubs2"), false);
    std::vector<LogRecord> records = TransactionLog::recordsAfter(db, 0);
    // The table's datetime column brings the triggers that keep its values after it.
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].sql.rfind("create table t (n int, at datetime", 0), 0u);
    EXPECT_EQ(records[1].sql.rfind("CREATE TRIGGER", 0), 0u);
    EXPECT_EQ(records[3].sql, "insert into t values (1, getdate())");
    EXPECT_EQ(records[4].sql, "update t set n = 2");
    EXPECT_EQ(records[5].sql, "delete from t where n = 5");
    EXPECT_LT(records[0].sequence, records[5].sequence);
    EXPECT_EQ(records[3].time.size(), 23u);

    // Truncation drops records; numbering goes on after the highest ever given.
    const std::int64_t last = TransactionLog::lastSequence(db);
    TransactionLog::truncateThrough(db, last);
    EXPECT_TRUE(TransactionLog::recordsAfter(db, 0).empty());
    run(state, "use pubs2 insert t values (4, null)");
    records = TransactionLog::recordsAfter(db, 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_GT(records[0].sequence, last);

    SqliteDatabase master(state.databasePath("master"), false);
    EXPECT_TRUE(TransactionLog::recordsAfter(master, 0).empty());
}

TEST_F(ServerFolder, UsersAreCountedPerDatabase) {
    ServerState state(options());
    static const CommandSet commands = makeStandardCommands();
    NullSink sink;
    {
        ExecutionContext first(state, commands, sink, 1);
        ExecutionContext second(state, commands, sink, 2);
        EXPECT_EQ(state.usersOf("master"), 2);
        runBatch(first, "use pubs2");
        EXPECT_EQ(state.usersOf("pubs2"), 1);
        EXPECT_EQ(state.usersOf("master"), 1);
        runBatch(first, "use nosuch");
        EXPECT_EQ(state.usersOf("pubs2"), 1);
    }
    EXPECT_EQ(state.usersOf("pubs2"), 0);
    EXPECT_EQ(state.usersOf("master"), 0);
}
