// Procedure calls sent as RPC requests through libct, as a client library makes them: the
// parameters arrive, output parameters come back in their types with the return status, and a
// language exec sends them too and puts them into the caller's variables; a language command's
// parameters are variables of its batch.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>

using tvr::testing::CtClient;
using tvr::testing::Emulator;

namespace {

struct RpcAnswer {
    std::map<std::string, std::string> outputs;  // by parameter name, as text
    int status = -1;
    bool failed = false;
};

CS_DATAFMT format(const char* name, CS_INT type, CS_INT length, CS_INT status) {
    CS_DATAFMT f;
    std::memset(&f, 0, sizeof f);
    std::strcpy(f.name, name);
    f.namelen = CS_NULLTERM;
    f.datatype = type;
    f.maxlength = length;
    f.status = status;
    return f;
}

RpcAnswer readAnswer(CS_COMMAND* cmd);

// Calls add_one(@a = 41, @b output, @c output, @m output) by RPC on its own connection.
RpcAnswer callAddOne(CS_CONNECTION* connection) {
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(connection, &cmd);
    ct_command(cmd, CS_RPC_CMD, const_cast<CS_CHAR*>("add_one"), CS_NULLTERM, CS_NO_RECOMPILE);
    CS_INT a = 41, b = 0;
    CS_CHAR c[16] = "";
    CS_FLOAT m = 0;
    CS_DATAFMT fa = format("@a", CS_INT_TYPE, 4, CS_INPUTVALUE);
    CS_DATAFMT fb = format("@b", CS_INT_TYPE, 4, CS_RETURN);
    CS_DATAFMT fc = format("@c", CS_CHAR_TYPE, 10, CS_RETURN);
    CS_DATAFMT fm = format("@m", CS_FLOAT_TYPE, 8, CS_RETURN);
    ct_param(cmd, &fa, &a, 4, 0);
    ct_param(cmd, &fb, &b, 4, 0);
    ct_param(cmd, &fc, c, 0, 0);
    ct_param(cmd, &fm, &m, 8, 0);
    return readAnswer(cmd);
}

// The same call as an exec in a language batch.
RpcAnswer execAddOne(CS_CONNECTION* connection) {
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(connection, &cmd);
    const char* batch =
        "declare @r int, @s varchar(10), @n money "
        "exec add_one 41, @r output, @s output, @n output";
    ct_command(cmd, CS_LANG_CMD, const_cast<CS_CHAR*>(batch), CS_NULLTERM, CS_UNUSED);
    return readAnswer(cmd);
}

// Sends the command and reads its return status and output parameters; drops the command.
RpcAnswer readAnswer(CS_COMMAND* cmd) {
    RpcAnswer answer;
    if (ct_send(cmd) != CS_SUCCEED) answer.failed = true;
    CS_INT type = 0;
    while (!answer.failed && ct_results(cmd, &type) == CS_SUCCEED) {
        if (type == CS_CMD_FAIL) answer.failed = true;
        if (type != CS_PARAM_RESULT && type != CS_STATUS_RESULT) continue;
        CS_INT columns = 0;
        ct_res_info(cmd, CS_NUMDATA, &columns, CS_UNUSED, nullptr);
        std::vector<std::array<char, 64>> texts(static_cast<std::size_t>(columns));
        std::vector<std::string> names;
        for (CS_INT i = 0; i < columns; ++i) {
            CS_DATAFMT described;
            ct_describe(cmd, i + 1, &described);
            names.emplace_back(described.name, static_cast<std::size_t>(described.namelen));
            CS_DATAFMT bound = format("", CS_CHAR_TYPE, 64, CS_UNUSED);
            bound.format = CS_FMT_NULLTERM;
            ct_bind(cmd, i + 1, &bound, texts[static_cast<std::size_t>(i)].data(), nullptr,
                    nullptr);
        }
        while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
            if (type == CS_STATUS_RESULT) answer.status = std::atoi(texts.at(0).data());
            for (std::size_t i = 0; type == CS_PARAM_RESULT && i < names.size(); ++i)
                answer.outputs[names[i]] = texts[i].data();
        }
    }
    ct_cmd_drop(cmd);
    return answer;
}

}  // namespace

TEST(RpcCalls, OutputParametersComeBackWithTheReturnStatus) {
    Emulator server("RPC");
    CtClient client;
    ASSERT_TRUE(client.connect("RPC"));
    ASSERT_FALSE(client
                     .execute("create procedure add_one @a int, @b int output, @c varchar(10) "
                              "output, @m money output as\n"
                              "select @b = @a + 1\n"
                              "select @c = 'got ' + convert(varchar(5), @a)\n"
                              "select @m = -922337203685477.5808\n"
                              "return 7")
                     .failed());
    // A connection of its own for the calls the test client does not make.
    CtClient own;
    ASSERT_TRUE(own.connect("RPC"));
    CS_CONNECTION* connection = own.connection();

    // By RPC and by an exec of the client's own batch alike.
    for (const auto call : {callAddOne, execAddOne}) {
        const RpcAnswer answer = call(connection);
        EXPECT_FALSE(answer.failed);
        EXPECT_EQ(answer.status, 7);
        EXPECT_EQ(answer.outputs,
                  (std::map<std::string, std::string>{
                      {"@b", "42"}, {"@c", "got 41"}, {"@m", "-922337203685477.5808"}}));
    }

    own.close();

    // In a language batch the output parameter lands in the caller's variable.
    const auto rows = client
                          .execute(
                              "declare @r int, @s varchar(10), @n money "
                              "exec add_one 1, @r output, @s output, @n output "
                              "select @r, @s")
                          .rowResults();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].rows.at(0).at(0), "2");
    EXPECT_EQ(rows[0].rows.at(0).at(1), "got 1");
}

TEST(RpcCalls, LanguageCommandsWithParametersSeeThemAsVariables) {
    Emulator server("LANGPARAMS");
    // A connection of its own for the calls the test client does not make.
    CtClient own;
    ASSERT_TRUE(own.connect("LANGPARAMS"));
    CS_CONNECTION* connection = own.connection();
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(connection, &cmd);
    ct_command(cmd, CS_LANG_CMD, const_cast<CS_CHAR*>("select @n + 1, @s + '!'"), CS_NULLTERM,
               CS_UNUSED);
    CS_INT n = 41;
    CS_CHAR s[] = "it's";
    CS_DATAFMT fn = format("@n", CS_INT_TYPE, 4, CS_INPUTVALUE);
    CS_DATAFMT fs = format("@s", CS_CHAR_TYPE, 10, CS_INPUTVALUE);
    ct_param(cmd, &fn, &n, 4, 0);
    ct_param(cmd, &fs, s, 4, 0);
    ASSERT_EQ(ct_send(cmd), CS_SUCCEED);
    std::vector<std::string> values;
    CS_INT type = 0;
    while (ct_results(cmd, &type) == CS_SUCCEED) {
        if (type != CS_ROW_RESULT) continue;
        std::array<char, 32> first{}, second{};
        CS_DATAFMT bound = format("", CS_CHAR_TYPE, 32, CS_UNUSED);
        bound.format = CS_FMT_NULLTERM;
        ct_bind(cmd, 1, &bound, first.data(), nullptr, nullptr);
        ct_bind(cmd, 2, &bound, second.data(), nullptr, nullptr);
        while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
            values.emplace_back(first.data());
            values.emplace_back(second.data());
        }
    }
    EXPECT_EQ(values, (std::vector<std::string>{"42", "it's!"}));
    ct_cmd_drop(cmd);
    own.close();
}

namespace {

// Sends the dynamic command `operation` on `id` (with `text` to prepare, `n` as its one value
// to execute); gives the first column of the rows it returns, or "failed".
std::vector<std::string> dynamicCommand(CS_CONNECTION* connection, CS_INT operation, const char* id,
                                        const char* text, CS_INT* n) {
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(connection, &cmd);
    ct_dynamic(cmd, operation, const_cast<CS_CHAR*>(id), CS_NULLTERM, const_cast<CS_CHAR*>(text),
               text != nullptr ? CS_NULLTERM : CS_UNUSED);
    CS_DATAFMT fn = format("", CS_INT_TYPE, 4, CS_INPUTVALUE);
    if (n != nullptr) ct_param(cmd, &fn, n, 4, 0);
    std::vector<std::string> values;
    CS_INT type = 0;
    if (ct_send(cmd) != CS_SUCCEED) values.emplace_back("failed");
    while (ct_results(cmd, &type) == CS_SUCCEED) {
        if (type == CS_CMD_FAIL) values.emplace_back("failed");
        if (type != CS_ROW_RESULT) continue;
        std::array<char, 32> first{};
        CS_DATAFMT bound = format("", CS_CHAR_TYPE, 32, CS_UNUSED);
        bound.format = CS_FMT_NULLTERM;
        ct_bind(cmd, 1, &bound, first.data(), nullptr, nullptr);
        while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED)
            values.emplace_back(first.data());
    }
    ct_cmd_drop(cmd);
    return values;
}

}  // namespace

TEST(RpcCalls, DynamicStatementsArePreparedExecutedWithValuesAndDeallocated) {
    Emulator server("DYNAMIC");
    CtClient client;
    ASSERT_TRUE(client.connect("DYNAMIC"));
    ASSERT_FALSE(client.execute("create table tempdb..t (n int, s varchar(10))").failed());
    ASSERT_FALSE(client
                     .execute("insert tempdb..t values (1, 'one?') "
                              "insert tempdb..t values (2, 'two')")
                     .failed());
    // A connection of its own for the calls the test client does not make.
    CtClient own;
    ASSERT_TRUE(own.connect("DYNAMIC"));
    CS_CONNECTION* connection = own.connection();

    // The ? inside the string is text, not a placeholder.
    const char* query = "select s from tempdb..t where n = ? or s = 'x?'";
    EXPECT_TRUE(dynamicCommand(connection, CS_PREPARE, "find", query, nullptr).empty());
    CS_INT n = 2;
    EXPECT_EQ(dynamicCommand(connection, CS_EXECUTE, "find", nullptr, &n),
              std::vector<std::string>{"two"});
    n = 1;
    EXPECT_EQ(dynamicCommand(connection, CS_EXECUTE, "find", nullptr, &n),
              std::vector<std::string>{"one?"});
    EXPECT_TRUE(dynamicCommand(connection, CS_DEALLOC, "find", nullptr, nullptr).empty());
    EXPECT_EQ(dynamicCommand(connection, CS_EXECUTE, "find", nullptr, &n),
              std::vector<std::string>{"failed"});

    own.close();
}

TEST(RpcCalls, BinaryParametersKeepTheirBytes) {
    Emulator server("RPCBYTES");
    CtClient client;
    ASSERT_TRUE(client.connect("RPCBYTES"));
    ASSERT_FALSE(client
                     .execute("create procedure echo_bytes @in varbinary(8), @out varbinary(8) "
                              "output as\nselect @out = @in\nreturn datalength(@in)")
                     .failed());
    CtClient own;
    ASSERT_TRUE(own.connect("RPCBYTES"));
    struct Case {
        CS_INT command;
        const char* text;
    };
    const Case cases[] = {
        {CS_RPC_CMD, "echo_bytes"},
        {CS_LANG_CMD, "declare @out varbinary(8) exec echo_bytes @in, @out output"},
    };
    for (const Case& c : cases) {
        CS_COMMAND* cmd = nullptr;
        ct_cmd_alloc(own.connection(), &cmd);
        ct_command(cmd, c.command, const_cast<CS_CHAR*>(c.text), CS_NULLTERM,
                   c.command == CS_RPC_CMD ? CS_NO_RECOMPILE : CS_UNUSED);
        CS_BINARY in[] = {0xff, 0x00, 0x41};
        CS_BINARY out[8] = {};
        CS_DATAFMT fin = format("@in", CS_BINARY_TYPE, 3, CS_INPUTVALUE);
        CS_DATAFMT fout = format("@out", CS_BINARY_TYPE, 8, CS_RETURN);
        ct_param(cmd, &fin, in, 3, 0);
        if (c.command == CS_RPC_CMD) ct_param(cmd, &fout, out, 0, 0);
        const RpcAnswer answer = readAnswer(cmd);
        EXPECT_FALSE(answer.failed) << c.text;
        EXPECT_EQ(answer.status, 3) << c.text;
        EXPECT_EQ(answer.outputs, (std::map<std::string, std::string>{{"@out", "ff0041"}}))
            << c.text;
    }
    own.close();
}
