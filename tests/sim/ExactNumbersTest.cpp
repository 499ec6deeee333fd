// numeric, decimal, money and smallmoney as a client reads them through libct: in their own
// types, with their precision and scale, and the decimals exactly as written (libct shows money
// with four).
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtClient;
using tvr::testing::Emulator;

namespace {

class ExactNumbers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Emulator("EXACT", {"shop"}); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(client_.connect("EXACT")); }

    static Emulator* server_;
    CtClient client_;
};

Emulator* ExactNumbers::server_ = nullptr;

}  // namespace

TEST_F(ExactNumbers, StoredValuesComeBackInTheirTypeAndScale) {
    struct Case {
        const char* type;
        const char* literal;
        std::optional<std::string> shown;
        int csType;
    };
    const Case cases[] = {
        {"numeric(10,2)", "99.99", "99.99", CS_NUMERIC_TYPE},
        {"numeric(10,2)", "-0.5", "-0.50", CS_NUMERIC_TYPE},
        {"numeric(6,3)", "1.2345", "1.235", CS_NUMERIC_TYPE},  // rounded to the scale
        {"numeric", "123456789012345", "123456789012345", CS_NUMERIC_TYPE},
        {"numeric(38,0)", "'123456789012345'", "123456789012345", CS_NUMERIC_TYPE},
        {"decimal(5,1)", "1234.5", "1234.5", CS_DECIMAL_TYPE},
        {"money", "620.8", "620.8000", CS_MONEY_TYPE},
        {"money", "-12345678901.2345", "-12345678901.2345", CS_MONEY_TYPE},
        {"smallmoney", "12.75", "12.7500", CS_MONEY4_TYPE},
        {"smallmoney", "null", std::nullopt, CS_MONEY4_TYPE},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string table = "shop..exact" + std::to_string(++n);
        ASSERT_FALSE(
            client_.execute("create table " + table + " (v " + c.type + " null)").failed());
        ASSERT_FALSE(client_.execute("insert " + table + " values (" + c.literal + ")").failed());
        const auto results = client_.execute("select v from " + table).rowResults();
        ASSERT_EQ(results.size(), 1u) << c.type;
        EXPECT_EQ(results[0].columns.at(0).type, c.csType) << c.type << " " << c.literal;
        EXPECT_EQ(results[0].rows.at(0).at(0), c.shown) << c.type << " " << c.literal;
    }
}

TEST_F(ExactNumbers, ArithmeticAndConversionsKeepTheColumnsType) {
    ASSERT_FALSE(client_
                     .execute("use shop create table orders (id int, amount money not null)\n"
                              "insert orders values (1, 310.4)\n"
                              "update orders set amount = amount * 2 where id = 1")
                     .failed());
    auto value = [&](const std::string& sql) {
        const auto results = client_.execute(sql).rowResults();
        return results.size() == 1 && results[0].rows.size() == 1 ? results[0].rows[0].at(0)
                                                                  : "(no single value)";
    };
    EXPECT_EQ(value("select amount from orders"), "620.8000");
    EXPECT_EQ(value("select convert(numeric(8,3), amount) from orders"), "620.800");
    EXPECT_EQ(value("select convert(money, '0.1')"), "0.1000");
    EXPECT_EQ(value("select id from orders where amount = 620.8"), "1");
    const auto refused = client_.execute("select convert(money, 'many')").messages();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].number, 249);
    EXPECT_NE(refused[0].text.find("MONEY"), std::string::npos) << refused[0].text;
}

TEST_F(ExactNumbers, ValuesBeyondFifteenDigitsKeepEveryDigit) {
    struct Case {
        const char* type;
        const char* literal;
        const char* shown;
    };
    const Case cases[] = {
        {"money", "922337203685477.5807", "922337203685477.5807"},
        {"money", "-922337203685477.5808", "-922337203685477.5808"},
        {"money", "123456789012345.67", "123456789012345.6700"},
        {"smallmoney", "214748.3647", "214748.3647"},
        {"smallmoney", "-214748.3648", "-214748.3648"},
        {"numeric(38,0)", "12345678901234567890123456789012345678",
         "12345678901234567890123456789012345678"},
        {"numeric(38,0)", "-99999999999999999999999999999999999999",
         "-99999999999999999999999999999999999999"},
        {"numeric(38,10)", "1234567890123456789012345678.1234567891",
         "1234567890123456789012345678.1234567891"},
        {"decimal(30,20)", "- 0.12345678901234567891", "-0.12345678901234567891"},
    };
    int n = 0;
    for (const Case& c : cases) {
        // Once as a literal, once through a variable of the column's type.
        const std::string table = "shop..wide" + std::to_string(++n);
        ASSERT_FALSE(client_
                         .execute("create table " + table + " (v " + c.type + " null)\n" +
                                  "insert " + table + " values (" + c.literal + ")\n" +
                                  "declare @v " + c.type + " select @v = " + c.literal +
                                  " insert " + table + " values (@v)")
                         .failed())
            << c.type << " " << c.literal;
        const auto results = client_.execute("select v from " + table).rowResults();
        ASSERT_EQ(results.size(), 1u) << c.type;
        ASSERT_EQ(results[0].rows.size(), 2u) << c.type;
        for (const auto& row : results[0].rows) EXPECT_EQ(row.at(0), c.shown) << c.literal;
    }
}

TEST_F(ExactNumbers, LongValuesAddCompareAndConvertExactly) {
    ASSERT_FALSE(client_
                     .execute("use shop create table ledger (id int, n numeric(38,10), m money)\n"
                              "insert ledger values (1, 1234567890123456789012345678.1234567890, "
                              "900000000000000.0001)\n"
                              "insert ledger values (2, 0.0000000001, 22337203685477.5806)\n"
                              "insert ledger values (3, -5, 0)")
                     .failed());
    auto value = [&](const std::string& sql) {
        const auto results = client_.execute(sql).rowResults();
        return results.size() == 1 && results[0].rows.size() == 1 ? results[0].rows[0].at(0)
                                                                  : "(no single value)";
    };
    const std::pair<const char*, const char*> cases[] = {
        {"select sum(n) from ledger", "1234567890123456789012345673.1234567891"},
        {"select sum(m) from ledger", "922337203685477.5807"},
        {"select id from ledger where n = 1234567890123456789012345678.123456789", "1"},
        {"select id from ledger where n > 1234567890123456789012345678.1234567889", "1"},
        {"select count(*) from ledger where n < 1234567890123456789012345678.1234567890", "2"},
        {"select count(*) from ledger where n > 0", "2"},
        {"select id from ledger where m = 22337203685477.5806", "2"},
        {"select id from ledger where n < -1", "3"},
        {"select max(id) from ledger where n between 0 and 1", "2"},
        {"select convert(varchar(50), n) from ledger where id = 1",
         "1234567890123456789012345678.1234567890"},
        {"select convert(varchar(30), m) from ledger where id = 1", "900000000000000.0001"},
    };
    for (const auto& [sql, expected] : cases) EXPECT_EQ(value(sql), expected) << sql;
    const auto ordered = client_.execute("select id from ledger order by n").rowResults();
    ASSERT_EQ(ordered.size(), 1u);
    ASSERT_EQ(ordered[0].rows.size(), 3u);
    EXPECT_EQ(ordered[0].rows[0].at(0), "3");
    EXPECT_EQ(ordered[0].rows[2].at(0), "1");
}

TEST_F(ExactNumbers, MinMaxSumAndAvgOfAColumnKeepItsTypeAndDigits) {
    ASSERT_FALSE(client_
                     .execute("create table shop..totals (k int, m money, n numeric(12,3))\n"
                              "insert shop..totals values (1, 900000000000000.0001, 1.5)\n"
                              "insert shop..totals values (2, 22337203685477.5806, -2.25)")
                     .failed());
    struct Case {
        const char* item;
        int csType;
        const char* shown;
    };
    const Case cases[] = {
        {"sum(m)", CS_MONEY_TYPE, "922337203685477.5807"},
        {"max(m) as top", CS_MONEY_TYPE, "900000000000000.0001"},
        {"low = min(totals.n)", CS_NUMERIC_TYPE, "-2.250"},
        {"sum(n)", CS_NUMERIC_TYPE, "-0.750"},
        {"avg(m)", CS_MONEY_TYPE, "461168601842738.7904"},  // beyond a float's digits
        {"avg(n)", CS_NUMERIC_TYPE, "-0.375"},
        {"max(k)", CS_INT_TYPE, "2"},
    };
    for (const Case& c : cases) {
        const auto results =
            client_.execute(std::string("select ") + c.item + " from shop..totals").rowResults();
        ASSERT_EQ(results.size(), 1u) << c.item;
        EXPECT_EQ(results[0].columns.at(0).type, c.csType) << c.item;
        EXPECT_EQ(results[0].rows.at(0).at(0), c.shown) << c.item;
    }
}
