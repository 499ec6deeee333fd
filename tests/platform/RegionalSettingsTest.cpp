#include "platform/RegionalSettings.h"

#include <gtest/gtest.h>

using namespace tvr::platform;

namespace {
std::tm sample() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 12;
    return t;
}
} // namespace

TEST(RegionalSettings, PosixLocaleGivesItsDateAndTimePatterns) {
    const RegionalFormats f = localeFormats("C");
    EXPECT_EQ(f.shortDate, "%m/%d/%y");
    EXPECT_EQ(f.longTime, "%H:%M:%S");
    EXPECT_EQ(f.timeSeparator, ':');
}

TEST(RegionalSettings, InjectedFormatsWinUntilCleared) {
    injectRegionalFormats(RegionalFormats{"%d.%m.%Y", "%H.%M.%S", '.'});
    EXPECT_EQ(formatShortDate(sample()), "06.12.2026");
    EXPECT_EQ(formatLongTime(sample()), "14.05.12");
    EXPECT_EQ(regionalFormats().timeSeparator, '.');
    injectRegionalFormats(std::nullopt);
}
