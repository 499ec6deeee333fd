// The token sequence of a batch as the session would send it, recorded without a network: done
// tokens with their status bits and counts, return status before done-proc, messages in place.
#include "sim/statements/BatchRunner.h"
#include "sim/statements/StatementHandlers.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

using namespace tvr::sim;

namespace {

class RecordingSink : public ResultSink {
public:
    std::vector<std::string> tokens;
    bool cancel = false;

    void message(const ServerMessage& m) override {
        tokens.push_back("msg " + std::to_string(m.number));
    }
    void rowFormat(const std::vector<Column>& columns) override {
        tokens.push_back("format " + std::to_string(columns.size()));
    }
    void row(const Row&) override { tokens.push_back("row"); }
    void returnStatus(std::int32_t status) override {
        tokens.push_back("status " + std::to_string(status));
    }
    void environmentChange(EnvChangeType type, const std::string& newValue,
                           const std::string& oldValue) override {
        tokens.push_back("env " + std::to_string(type) + " " + newValue + " " + oldValue);
    }
    void done(ServerToken token, std::uint16_t status, std::int32_t count) override {
        const char* name = token == TokenDone       ? "done"
                           : token == TokenDoneProc ? "doneproc"
                                                    : "doneinproc";
        char text[64];
        std::snprintf(text, sizeof text, "%s %02x %d", name, status, count);
        tokens.push_back(text);
    }
    bool cancelRequested() override { return cancel; }
};

class BatchTokens : public ::testing::Test {
protected:
    BatchTokens()
        : state_([&] {
              ServerOptions options;
              options.name = "RUNNER";
              options.dataDir = folder_.string();
              options.databases = {"pubs2"};
              options.logins = {{"sa", ""}};
              return options;
          }()),
          commands_(makeStandardCommands()),
          context_(state_, commands_, sink_, 1) {}

    std::vector<std::string> run(const std::string& batch) {
        sink_.tokens.clear();
        runBatch(context_, batch);
        return sink_.tokens;
    }

    tvr::testing::TempFolder folder_{"tvr-batch"};
    ServerState state_;
    CommandSet commands_;
    RecordingSink sink_;
    ExecutionContext context_;
};

using Tokens = std::vector<std::string>;

}  // namespace

TEST_F(BatchTokens, EachStatementEndsWithADoneTokenAndOnlyTheLastIsFinal) {
    EXPECT_EQ(run("use pubs2 create table t (a int) insert t values (1) select a from t"),
              (Tokens{"env 1 pubs2 master", "msg 5701", "done 01 0", "done 01 0", "done 11 1",
                      "format 1", "row", "done 10 1"}));
    EXPECT_EQ(run(""), (Tokens{"done 00 0"}));
    EXPECT_EQ(run("select a from t where a > 5"), (Tokens{"format 1", "done 10 0"}));
}

TEST_F(BatchTokens, ErrorsSetTheErrorBitAndSyntaxErrorsEndTheBatch) {
    EXPECT_EQ(run("select * from missing select 1"),
              (Tokens{"msg 208", "done 03 0", "format 1", "row", "done 10 1"}));
    EXPECT_EQ(run("select 1 select from where select 3"),
              (Tokens{"format 1", "row", "done 11 1", "msg 102", "done 02 0"}));
    EXPECT_EQ(run("print 'a' select 'unclosed"), (Tokens{"msg 105", "done 02 0"}));
    EXPECT_EQ(run("use nosuch"), (Tokens{"msg 911", "done 02 0"}));
}

TEST_F(BatchTokens, ProceduresEndWithStatusAndDoneProc) {
    EXPECT_EQ(run("exec sp_helpdb master print 'after'"),
              (Tokens{"format 6", "row", "doneinproc 11 1", "status 0", "doneproc 01 0", "msg 0",
                      "done 00 0"}));
    EXPECT_EQ(run("sp_helpdb nosuch"), (Tokens{"msg 15010", "status 1", "doneproc 00 0"}));
}

TEST_F(BatchTokens, OpenTransactionsAreFlaggedOnTheirDoneTokens) {
    EXPECT_EQ(run("use pubs2 create table tx (a int) begin tran insert tx values (1)"),
              (Tokens{"env 1 pubs2 master", "msg 5701", "done 01 0", "done 01 0", "done 05 0",
                      "done 14 1"}));
    EXPECT_EQ(run("commit tran"), (Tokens{"done 00 0"}));
}

TEST_F(BatchTokens, WaitforTakesOnlyDelaysBelowADay) {
    EXPECT_EQ(run("waitfor delay '00:00:00.010'"), (Tokens{"done 00 0"}));
    for (const char* delay : {"'99999999999:00:00'", "'24:00:00'", "'00:60:00'", "'1:2'",
                              "'00:00:01.5000'", "'-1:00:00'", "'00:00:01x'", "5"})
        EXPECT_EQ(run(std::string("waitfor delay ") + delay), (Tokens{"msg 102", "done 02 0"}))
            << delay;
}

TEST_F(BatchTokens, ACancelStopsTheBatchBeforeItsNextStatement) {
    sink_.cancel = true;
    EXPECT_EQ(runBatch(context_, "select 1 select 2"), BatchResult::Cancelled);
    EXPECT_TRUE(sink_.tokens.empty());
}
