// Logging on to aseemu through libct: the accepted logon with its database context, the 4002
// refusal as the program's server message handler sees it, and configured logins.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtClient;
using tvr::testing::Emulator;

TEST(Logon, DefaultSaLogonSucceedsInMasterWithChangedContextMessage) {
    Emulator server("LOGON1");
    CtClient client;
    ASSERT_TRUE(client.connect("LOGON1"));
    ASSERT_FALSE(client.serverMessages.empty());
    const auto& changed = client.serverMessages.front();
    EXPECT_EQ(changed.number, 5701);
    EXPECT_EQ(changed.severity, 10);
    EXPECT_EQ(changed.text, "Changed database context to 'master'.\n");
    EXPECT_EQ(changed.server, "LOGON1");

    auto batch =
        client.execute("select db_name(), user_name(), host_name(), app_name(), @@servername");
    auto results = batch.rowResults();
    ASSERT_EQ(results.size(), 1u);
    const auto& row = results[0].rows.at(0);
    EXPECT_EQ(row[0], "master");
    EXPECT_EQ(row[1], "sa");
    EXPECT_EQ(row[2], "testhost");
    EXPECT_EQ(row[3], "tvr-tests");
    EXPECT_EQ(row[4], "LOGON1");
}

TEST(Logon, WrongPasswordIsRefusedWith4002AtSeverity14) {
    Emulator server("LOGON2");
    CtClient client;
    EXPECT_FALSE(client.connect("LOGON2", "sa", "wrong"));
    ASSERT_EQ(client.serverMessages.size(), 1u);
    const auto& refused = client.serverMessages[0];
    EXPECT_EQ(refused.number, 4002);
    EXPECT_EQ(refused.severity, 14);
    EXPECT_EQ(refused.state, 1);
    EXPECT_EQ(refused.line, 1);
    EXPECT_EQ(refused.text, "Login failed.\n");

    // The server goes on serving after a refusal.
    CtClient again;
    EXPECT_TRUE(again.connect("LOGON2"));
}

TEST(Logon, ConfiguredLoginsReplaceTheDefaultSa) {
    tvr::testing::EmulatorOptions options;
    options.name = "LOGON3";
    options.logins = {"operator:s3cret", "backup:"};
    Emulator server(options);
    CtClient client;
    EXPECT_TRUE(client.connect("LOGON3", "operator", "s3cret"));
    CtClient emptyPassword;
    EXPECT_TRUE(emptyPassword.connect("LOGON3", "backup", ""));
    CtClient sa;
    EXPECT_FALSE(sa.connect("LOGON3", "sa", ""));
    CtClient wrongCase;
    EXPECT_FALSE(wrongCase.connect("LOGON3", "Operator", "s3cret"));
}

TEST(Logon, LogoutAndReconnectOnTheSameProcessWork) {
    Emulator server("LOGON4");
    CtClient client;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(client.connect("LOGON4")) << "round " << i;
        auto batch = client.execute("select @@spid");
        ASSERT_EQ(batch.rowResults().size(), 1u);
        client.close();
    }
}

// Newer FreeTDS releases (1.4 on) send these statements right after the logon and give up on
// any error among them: as one batch, or one command each.
TEST(Logon, TheStatementsNewerFreeTdsSendsAfterLogonAllSucceed) {
    const std::vector<std::string> statements = {
        "SELECT @@spid spid\n", "SELECT CONVERT(NVARCHAR(3), 'abc') nvc\n",
        "EXECUTE ('SELECT CONVERT(UNIVARCHAR(3), ''xyz'') uvc')\n"};
    Emulator server("LOGON5");
    CtClient client;
    ASSERT_TRUE(client.connect("LOGON5"));
    auto check = [](const std::vector<tvr::testing::CtRowResult>& results) {
        ASSERT_EQ(results.size(), 3u);
        EXPECT_EQ(results[0].columns.at(0).name, "spid");
        EXPECT_EQ(results[0].columns[0].type, CS_INT_TYPE);
        EXPECT_EQ(results[1].columns.at(0).name, "nvc");
        // The library divides the width by 3 to learn the bytes a character takes.
        EXPECT_EQ(results[1].columns[0].maxLength, 3);
        EXPECT_EQ(results[1].rows.at(0).at(0), "abc");
        EXPECT_EQ(results[2].columns.at(0).name, "uvc");
        EXPECT_EQ(results[2].columns[0].maxLength, 6);
        EXPECT_EQ(results[2].rows.at(0).at(0), "xyz");
    };
    auto noErrors = [](const tvr::testing::CtBatch& batch) {
        EXPECT_FALSE(batch.failed());
        for (const auto& m : batch.messages()) EXPECT_LE(m.severity, 10) << m.number << m.text;
    };

    const auto together = client.execute(statements[0] + statements[1] + statements[2]);
    noErrors(together);
    check(together.rowResults());

    std::vector<tvr::testing::CtRowResult> separate;
    for (const std::string& statement : statements) {
        const auto batch = client.execute(statement);
        noErrors(batch);
        for (auto& result : batch.rowResults()) separate.push_back(result);
    }
    check(separate);
}

// ct_options asks the server with an option command: a query gets back what the connection
// set (the default for an option never set or cleared), and the connection stays in step.
TEST(Logon, OptionCommandsGiveBackWhatTheConnectionSet) {
    Emulator server("LOGON6");
    CS_CONTEXT* context = nullptr;
    ASSERT_EQ(cs_ctx_alloc(CS_VERSION_100, &context), CS_SUCCEED);
    ASSERT_EQ(ct_init(context, CS_VERSION_100), CS_SUCCEED);
    CS_CONNECTION* connection = nullptr;
    ASSERT_EQ(ct_con_alloc(context, &connection), CS_SUCCEED);
    char user[] = "sa", password[] = "", name[] = "LOGON6";
    ct_con_props(connection, CS_SET, CS_USERNAME, user, CS_NULLTERM, nullptr);
    ct_con_props(connection, CS_SET, CS_PASSWORD, password, CS_NULLTERM, nullptr);
    ASSERT_EQ(ct_connect(connection, name, CS_NULLTERM), CS_SUCCEED);
    CS_INT on = CS_TRUE, wednesday = CS_OPT_WEDNESDAY, myd = CS_OPT_FMTMYD;
    ASSERT_EQ(ct_options(connection, CS_SET, CS_OPT_ANSINULL, &on, CS_UNUSED, nullptr), CS_SUCCEED);
    ASSERT_EQ(ct_options(connection, CS_SET, CS_OPT_DATEFIRST, &wednesday, CS_UNUSED, nullptr),
              CS_SUCCEED);
    ASSERT_EQ(ct_options(connection, CS_SET, CS_OPT_DATEFORMAT, &myd, CS_UNUSED, nullptr),
              CS_SUCCEED);
    ASSERT_EQ(ct_options(connection, CS_CLEAR, CS_OPT_DATEFORMAT, &myd, CS_UNUSED, nullptr),
              CS_SUCCEED);
    const struct {
        CS_INT option;
        CS_INT expected;
    } cases[] = {{CS_OPT_ANSINULL, CS_TRUE},
                 {CS_OPT_DATEFIRST, CS_OPT_WEDNESDAY},
                 {CS_OPT_QUOTED_IDENT, CS_FALSE},
                 {CS_OPT_DATEFORMAT, CS_OPT_FMTMDY},
                 {CS_OPT_ANSINULL, CS_TRUE}};
    for (const auto& c : cases) {
        CS_INT value = 99;
        EXPECT_EQ(ct_options(connection, CS_GET, c.option, &value, CS_UNUSED, nullptr), CS_SUCCEED)
            << c.option;
        EXPECT_EQ(value, c.expected) << c.option;
    }
    ct_close(connection, CS_UNUSED);
    ct_con_drop(connection);
    ct_exit(context, CS_UNUSED);
    cs_ctx_drop(context);
}
