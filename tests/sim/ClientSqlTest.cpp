// What an administrator types in isql or tsql, seen through libct as such a client sees it:
// arithmetic errors, batches refused while they compile, and the server's column types.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtBatch;
using tvr::testing::CtClient;
using tvr::testing::CtMessage;
using tvr::testing::Emulator;

namespace {

class ClientSql : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Emulator("CLIENTSQL", {"pubs2"}); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(client_.connect("CLIENTSQL")); }

    // The one value of a one-row result.
    std::optional<std::string> value(const std::string& sql) {
        const auto results = client_.execute(sql).rowResults();
        if (results.size() != 1 || results[0].rows.size() != 1) return "(no single value)";
        return results[0].rows[0].at(0);
    }

    static Emulator* server_;
    CtClient client_;
};

Emulator* ClientSql::server_ = nullptr;

std::vector<int> numbers(const CtBatch& batch) {
    std::vector<int> found;
    for (const CtMessage& message : batch.messages()) found.push_back(message.number);
    return found;
}

}  // namespace

TEST_F(ClientSql, DivisionByZeroIsAnErrorAndOtherDivisionsKeepTheirValues) {
    const std::vector<std::string> refused = {
        "select 1/0",
        "select 7 % 0",
        "select 1.5 / 0.0",
        "select 10 / (5 - 5)",
        "select 3 * 2 / -0",
        "select 4 / abs(0)",
        "select 1 / case when 1 = 1 then 0 else 1 end",
        "select 2 / '0'",
    };
    for (const std::string& sql : refused) {
        const CtBatch batch = client_.execute(sql);
        const std::vector<CtMessage> messages = batch.messages();
        ASSERT_EQ(messages.size(), 1u) << sql;
        const CtMessage& message = messages[0];
        EXPECT_EQ(message.number, 3607) << sql;
        EXPECT_EQ(message.severity, 16) << sql;
        EXPECT_EQ(message.text, "Divide by zero occurred.\n") << sql;
        EXPECT_TRUE(batch.rowResults().empty()) << sql;
    }
    const std::pair<const char*, const char*> kept[] = {
        {"select 7 / 2", "3"},       {"select 7 % 3", "1"},          {"select 12 / 2 * 3", "18"},
        {"select 8 / (1 + 1)", "4"}, {"select 100 / -5 / 2", "-10"}, {"select 0 / 5", "0"},
    };
    for (const auto& [sql, expected] : kept)
        EXPECT_EQ(value(sql).value_or("(null)"), expected) << sql;
}

TEST_F(ClientSql, DivisionByZeroEndsTheBatchAndTakesBackItsTransaction) {
    client_.execute("use pubs2 create table arith (n int)");
    const CtBatch stopped = client_.execute("select 1\nselect 1/0\nselect 2");
    EXPECT_EQ(stopped.rowResults().size(), 1u);
    EXPECT_EQ(numbers(stopped), std::vector<int>{3607});
    EXPECT_EQ(stopped.messages()[0].line, 2);

    const CtBatch assigned = client_.execute("declare @n int\nselect @n = 5 / 0\nprint 'after'");
    EXPECT_EQ(numbers(assigned), std::vector<int>{3607});

    const CtBatch inTransaction =
        client_.execute("begin tran insert arith values (1) insert arith select n / 0 from arith");
    EXPECT_EQ(numbers(inTransaction), std::vector<int>{3607});
    EXPECT_EQ(value("select @@trancount"), "0");
    EXPECT_EQ(value("select count(*) from arith"), "0");
}
