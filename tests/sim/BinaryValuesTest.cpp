// binary, varbinary and image values and hex literals as a client reads them through libct:
// bytes in the byte types, never numbers.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtClient;
using tvr::testing::Emulator;

TEST(BinaryValues, HexLiteralsAndByteColumnsKeepTheirBytes) {
    Emulator server("BYTES", {"files"});
    CtClient client;
    ASSERT_TRUE(client.connect("BYTES"));
    struct Case {
        const char* type;
        std::string literal;
        std::optional<std::string> shown;  // libct's text of the bytes: hex digits
        int csType;
    };
    const std::string longHex(600, 'a');
    const Case cases[] = {
        {"varbinary(4) null", "0x0102", "0102", CS_BINARY_TYPE},
        {"varbinary(4) null", "0x102", "0102", CS_BINARY_TYPE},
        {"varbinary(4) null", "null", std::nullopt, CS_BINARY_TYPE},
        {"binary(4) not null", "0x01", "01000000", CS_BINARY_TYPE},
        {"binary(4) null", "0x01", "01", CS_BINARY_TYPE},  // kept as a varbinary: unpadded
        {"varbinary(300) null", "0x" + longHex, longHex, CS_LONGBINARY_TYPE},
        {"image null", "0x0102", "0102", CS_IMAGE_TYPE},
        {"image null", "0x" + longHex, longHex, CS_IMAGE_TYPE},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string table = "files..bytes" + std::to_string(++n);
        ASSERT_FALSE(client.execute("create table " + table + " (v " + c.type + ")").failed());
        ASSERT_FALSE(client.execute("insert " + table + " values (" + c.literal + ")").failed());
        const auto results = client.execute("select v from " + table).rowResults();
        ASSERT_EQ(results.size(), 1u) << c.type;
        EXPECT_EQ(results[0].columns.at(0).type, c.csType) << c.type << " " << c.literal;
        EXPECT_EQ(results[0].rows.at(0).at(0), c.shown) << c.type << " " << c.literal;
    }
    auto value = [&](const std::string& sql) {
        const auto results = client.execute(sql).rowResults();
        return results.size() == 1 && results[0].rows.size() == 1 ? results[0].rows[0].at(0)
                                                                  : "(no single value)";
    };
    EXPECT_EQ(value("select 0x0a1B"), "0a1b");
    EXPECT_EQ(value("select datalength(0x010203)"), "3");
    EXPECT_EQ(value("select convert(varbinary(4), 1)"), "00000001");
    EXPECT_EQ(value("select convert(varchar(5), 0x4142)"), "AB");
    EXPECT_EQ(value("select count(*) from files..bytes1 where v = 0x0102"), "1");
}
