#include "platform/RegionalSettings.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <cstdlib>

using namespace tvr::platform;

namespace {
bool localeAvailable(const char* name) {
    locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return false;
    freelocale(loc);
    return true;
}

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
}  // namespace

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

TEST(RegionalSettingsLocales, CAndGermanGiveTheirOwnDateAndTime) {
    injectRegionalFormats(localeFormats("C"));
    EXPECT_EQ(formatShortDate(sample()), "12/06/26");
    EXPECT_EQ(formatLongTime(sample()), "14:05:12");

    if (!localeAvailable("de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not generated (scripts/install-deps.sh makes it)";
    const RegionalFormats de = localeFormats("de_DE.UTF-8");
    EXPECT_EQ(de.shortDate, "%d.%m.%Y");
    EXPECT_EQ(de.timeSeparator, ':');
    injectRegionalFormats(de);
    EXPECT_EQ(formatShortDate(sample()), "06.12.2026");
    EXPECT_EQ(formatLongTime(sample()), "14:05:12");
    injectRegionalFormats(std::nullopt);
}

TEST(RegionalSettingsLocales, TheEnvironmentsLcTimeChoosesTheFormats) {
    if (!localeAvailable("de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not generated (scripts/install-deps.sh makes it)";
    tvr::testing::ScopedEnvironment env;
    env.unset("LC_ALL");
    env.set("LANG", "C");
    env.set("LC_TIME", "de_DE.UTF-8");
    EXPECT_EQ(localeFormats("").shortDate, "%d.%m.%Y");
    env.set("LC_ALL", "C");  // LC_ALL wins over LC_TIME
    EXPECT_EQ(localeFormats("").shortDate, "%m/%d/%y");
}
