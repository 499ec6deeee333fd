// Texts the client layer derives: lines, datetimes, whole numbers, protocol choice.
#include "tests/support/ClientFixture.h"

#include "client/DatetimeText.h"
#include "client/SybaseField.h"
#include "client/TdsVersion.h"
#include "client/TextLines.h"
#include "tests/support/ScopedEnvironment.h"

#include <cstdlib>

using namespace tvr::client;
using namespace tvr::client::testing;

using Strings = std::vector<std::string>;

TEST(TextLines, LinesEndAtCrLfOrCrLf) {
    EXPECT_EQ(splitLines(""), Strings{});
    EXPECT_EQ(splitLines("a"), Strings{"a"});
    EXPECT_EQ(splitLines("a\n"), Strings{"a"});
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (Strings{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("\n"), Strings{""});
    EXPECT_EQ(splitLines("a\n\n"), (Strings{"a", ""}));
    EXPECT_EQ(splitLines("\r\n\r\nx"), (Strings{"", "", "x"}));
    EXPECT_EQ(splitLines("a\n\rb"), (Strings{"a", "", "b"}));
}

TEST(SybaseField, AsIntegerReadsWholeNumbersAndRefusesTheRest) {
    TSybaseField f;
    const auto as = [&f](const std::string& v) {
        f.Value = v;
        return f.AsInteger();
    };
    EXPECT_EQ(as("0"), 0);
    EXPECT_EQ(as("1"), 1);
    EXPECT_EQ(as(" -42"), -42);
    EXPECT_EQ(as("+7"), 7);
    EXPECT_EQ(as("2147483647"), 2147483647);
    EXPECT_EQ(as("-2147483648"), INT32_MIN);
    EXPECT_EQ(as("$FF"), 255);
    EXPECT_EQ(as("0xFFFFFFFF"), -1);
    for (const char* bad :
         {"", " ", "-", "1 ", "1.0", "abc", "2147483648", "99999999999999999999", "$", "0x"}) {
        f.Value = bad;
        EXPECT_THROW(f.AsInteger(), ConversionError) << bad;
    }
    f.Value = "Run";
    try {
        f.AsInteger();
        FAIL() << "no conversion error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()), "'Run' is not a valid integer value");
    }
}

class DatetimeTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        tvr::platform::injectRegionalFormats(
            tvr::platform::RegionalFormats{"%d.%m.%Y", "%H:%M:%S", ':'});
    }
    void TearDown() override { tvr::platform::injectRegionalFormats(std::nullopt); }
    static std::string text(CS_INT days, CS_INT ticks) {
        return datetimeText(CS_DATETIME{days, ticks});
    }
};

TEST_F(DatetimeTextTest, FirstOfJanuary1900IsEmptyAndMidnightHasNoTime) {
    EXPECT_EQ(text(0, 0), "");
    EXPECT_EQ(text(0, 300), "01.01.1900 00:00:01");
    EXPECT_EQ(text(1, 0), "02.01.1900");
    // 6 December 2026 is day 46 360 after 1 January 1900.
    EXPECT_EQ(text(46360, 0), "06.12.2026");
    EXPECT_EQ(text(46360, (14 * 3600 + 5 * 60 + 12) * 300 + 299), "06.12.2026 14:05:12");
    EXPECT_EQ(text(-1, 0), "31.12.1899");
    // Before 1900 a time of day stays on its own day.
    EXPECT_EQ(text(-53690, 12 * 3600 * 300), "01.01.1753 12:00:00");
}

TEST(TdsVersion, ConfiguredVersionFollowsTheFilesFreeTdsReads) {
    const tvr::testing::TempFolder folder;
    const std::filesystem::path& dir = folder.path();
    const auto write = [&dir](const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    };
    const std::string first = write("first.conf",
                                    "[global]\n  TDS   Version = auto\n"
                                    "[other]\n tds version = 7.4\n");
    const std::string second = write("second.conf",
                                     "; comment\n[global]\ntds version = 4.2\n"
                                     "[Main]\nhost = 127.0.0.1\n"
                                     "[reserve]\n\ttds version = 5.0\n");
    const std::string missing = (dir / "missing.conf").string();
    EXPECT_EQ(configuredTdsVersion("OTHER", {first, second}), "7.4");
    EXPECT_EQ(configuredTdsVersion("main", {missing, first, second}), "4.2");
    EXPECT_EQ(configuredTdsVersion("RESERVE", {first, second}), "5.0");
    EXPECT_EQ(configuredTdsVersion("nowhere", {first}), "auto");
    EXPECT_EQ(configuredTdsVersion("nowhere", {missing}), "");

    tvr::testing::ScopedEnvironment env;
    env.set("FREETDSCONF", first);
    env.unset("TDSVER");
    EXPECT_EQ(freeTdsConfigFiles().front(), first);
    EXPECT_TRUE(userConfiguredTdsVersion("other"));
    env.set("TDSVER", "7.0");
    EXPECT_TRUE(userConfiguredTdsVersion("x"));
}
