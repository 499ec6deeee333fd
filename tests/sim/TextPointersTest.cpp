// Text and image values with text pointers, through libct: a value read with ct_get_data
// gives its pointer and its "table.column" (ct_data_info), the client's send-data calls write
// a new value by it, and writetext, readtext and textptr() do the same in a language batch.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using tvr::testing::CtClient;
using tvr::testing::Emulator;

namespace {

std::string firstColumn(CtClient& client, const std::string& sql) {
    std::string text;
    for (const auto& result : client.execute(sql).rowResults())
        for (const auto& row : result.rows) text += row.at(0).value_or("NULL") + "|";
    return text;
}

// Reads the text column of `select` to its end and gives its I/O descriptor.
CS_IODESC readDescriptor(CS_CONNECTION* connection, const char* select, std::string& value) {
    CS_IODESC iodesc;
    std::memset(&iodesc, 0, sizeof iodesc);
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(connection, &cmd);
    ct_command(cmd, CS_LANG_CMD, const_cast<CS_CHAR*>(select), CS_NULLTERM, CS_UNUSED);
    ct_send(cmd);
    CS_INT type = 0;
    while (ct_results(cmd, &type) == CS_SUCCEED) {
        if (type != CS_ROW_RESULT) continue;
        while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
            char buffer[64];
            CS_INT got = 0;
            CS_RETCODE rc;
            do {
                rc = ct_get_data(cmd, 1, buffer, sizeof buffer, &got);
                value.append(buffer, static_cast<std::size_t>(got));
            } while (rc == CS_SUCCEED);
            ct_data_info(cmd, CS_GET, 1, &iodesc);
        }
    }
    ct_cmd_drop(cmd);
    return iodesc;
}

// Sends `value` in two pieces where the descriptor points; true when the server took it.
bool sendData(CS_CONNECTION* connection, CS_IODESC iodesc, const std::string& value) {
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(connection, &cmd);
    bool sent = ct_command(cmd, CS_SEND_DATA_CMD, nullptr, CS_UNUSED, CS_COLUMN_DATA) == CS_SUCCEED;
    iodesc.total_txtlen = static_cast<CS_INT>(value.size());
    iodesc.log_on_update = CS_TRUE;
    const CS_INT first = static_cast<CS_INT>(value.size() / 2);
    sent = sent && ct_data_info(cmd, CS_SET, CS_UNUSED, &iodesc) == CS_SUCCEED &&
           ct_send_data(cmd, const_cast<char*>(value.data()), first) == CS_SUCCEED &&
           ct_send_data(cmd, const_cast<char*>(value.data()) + first,
                        static_cast<CS_INT>(value.size()) - first) == CS_SUCCEED &&
           ct_send(cmd) == CS_SUCCEED;
    CS_INT type = 0;
    while (ct_results(cmd, &type) == CS_SUCCEED) sent = sent && type != CS_CMD_FAIL;
    ct_cmd_drop(cmd);
    return sent;
}

}  // namespace

TEST(TextPointers, SendDataWritetextAndReadtextFindTheValueByItsPointer) {
    Emulator server("TEXTPTR", {"sales"});
    CtClient client;
    ASSERT_TRUE(client.connect("TEXTPTR"));
    ASSERT_FALSE(client.execute("use sales create table t (id int, tx text null)").failed());
    ASSERT_FALSE(
        client.execute("insert t values (1, 'first') insert t values (2, 'second')").failed());

    const std::string written = "written by send-data, it's long enough";
    {
        CtClient raw;  // a connection of its own, for the calls CtClient does not wrap
        ASSERT_TRUE(raw.connect("TEXTPTR"));
        std::string value;
        CS_IODESC iodesc =
            readDescriptor(raw.connection(), "select tx from sales..t where id = 2", value);
        EXPECT_EQ(value, "second");
        EXPECT_EQ(std::string(iodesc.name, static_cast<std::size_t>(iodesc.namelen)),
                  "sales..t.tx");
        EXPECT_EQ(iodesc.textptrlen, 16);
        EXPECT_TRUE(sendData(raw.connection(), iodesc, written));
    }
    EXPECT_EQ(firstColumn(client, "select tx from t order by id"), "first|" + written + "|");

    // The same in a batch: the pointer from textptr(), a piece of the value, a new value.
    EXPECT_EQ(firstColumn(client,
                          "declare @p varbinary(16) "
                          "select @p = textptr(tx) from t where id = 1 "
                          "readtext t.tx @p 1 3"),
              "irs|");
    ASSERT_FALSE(client
                     .execute("declare @p varbinary(16) "
                              "select @p = textptr(tx) from t where id = 1 "
                              "writetext t.tx @p with log 'changed'")
                     .failed());
    EXPECT_EQ(firstColumn(client, "select tx from t where id = 1"), "changed|");
    // A pointer that points nowhere.
    const auto refused = client.execute("writetext t.tx 0x00112233 'x'");
    EXPECT_TRUE(refused.failed());
}

// Bytes sent to an image column stay bytes (zero bytes and quotes too), whatever the value they
// replace, and a temporary table's column is named as the client names the table.
TEST(TextPointers, SentBytesReplaceAnyImageValueInATemporaryTable) {
    Emulator server("TEXTIMG");
    CtClient raw;  // a connection of its own, for the calls CtClient does not wrap
    ASSERT_TRUE(raw.connect("TEXTIMG"));
    CS_COMMAND* cmd = nullptr;
    ct_cmd_alloc(raw.connection(), &cmd);
    const char* create = "create table #pics (id int, im image null) insert #pics values (1, '')";
    ct_command(cmd, CS_LANG_CMD, const_cast<CS_CHAR*>(create), CS_NULLTERM, CS_UNUSED);
    ct_send(cmd);
    CS_INT type = 0;
    while (ct_results(cmd, &type) == CS_SUCCEED) ASSERT_NE(type, CS_CMD_FAIL);
    ct_cmd_drop(cmd);

    std::string empty;
    const CS_IODESC iodesc = readDescriptor(raw.connection(), "select im from #pics", empty);
    EXPECT_EQ(std::string(iodesc.name, static_cast<std::size_t>(iodesc.namelen)), "#pics.im");
    const std::string bytes(
        "\x7f"
        "ELF\0\0'\xff"
        "end",
        11);
    ASSERT_TRUE(sendData(raw.connection(), iodesc, bytes));
    std::string back;
    readDescriptor(raw.connection(), "select im from #pics", back);
    EXPECT_EQ(back, bytes);
}
