// The call statement as a server receives it.
#include "tests/support/ServerFixture.h"

#include "engine/ProcedureCall.h"

using namespace tvr::engine;
using tvr::client::testing::ServerFixture;

using ProcedureCallOnServer = ServerFixture;

TEST_F(ProcedureCallOnServer, StepIsSentAsUseMasterThenTheStatementExactly) {
    auto c = connect();
    ASSERT_EQ(c->RetCode(), CS_SUCCEED);
    const std::string statement =
        spTvrCallStatement({1, "sales", 1, 0, "/srv/dumps", "sales06.12.2026140512.tr"});
    c->Execute("use master");
    c->Execute(statement);
    const std::string expected = "-- connection 1, 10 bytes\nuse master\n-- connection 1, " +
                                 std::to_string(statement.size()) + " bytes\n" + statement + "\n";
    EXPECT_TRUE(emulator->traceText().ends_with(expected)) << emulator->traceText();
    // Without the procedure installed the server's error reaches the error log.
    EXPECT_NE(errors().find("sp_TVR"), std::string::npos);
    EXPECT_TRUE(c->ServerError());
}
