// The name of a pass's dump file under the user's formats, and the interval text read as a
// number of seconds.
#include "engine/DumpFileName.h"

#include <gtest/gtest.h>

#include <set>

using namespace tvr::engine;
using tvr::platform::RegionalFormats;

namespace {

std::tm december6th(int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 6;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    return when;
}

TEST(dumpFileName, FormatsGiveTheNameWithoutDashesColonsAndSlashes) {
    struct Case {
        RegionalFormats formats;
        std::string database;
        std::string full;
        std::string transaction;
    };
    const Case cases[] = {
        {{"%d.%m.%Y", "%H:%M:%S", ':'},
         "sales",
         "sales06.12.2026140512.db",
         "sales06.12.2026140512.tr"},
        {{"%Y-%m-%d", "%H:%M:%S", ':'},
         "sales",
         "sales20261206140512.db",
         "sales20261206140512.tr"},
        // A short date with slashes would name folders that do not exist.
        {{"%m/%d/%y", "%H:%M:%S", ':'}, "sales", "sales120626140512.db", "sales120626140512.tr"},
        {{"%d\\%m\\%Y", "%H:%M:%S", ':'},
         "sales",
         "sales06122026140512.db",
         "sales06122026140512.tr"},
        // Dots, blanks and day-period designators stay; the database name loses its dashes.
        {{"%d.%m.%y", "%I:%M:%S %p", ':'},
         "my-db",
         "mydb06.12.26020512 PM.db",
         "mydb06.12.26020512 PM.tr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formats.shortDate + " " + c.formats.longTime);
        EXPECT_EQ(dumpFileName(c.database, false, december6th(14, 5, 12), c.formats), c.full);
        EXPECT_EQ(dumpFileName(c.database, true, december6th(14, 5, 12), c.formats), c.transaction);
    }
}

TEST(dumpFileName, ALongDatabaseNameIsShortenedSoThatTheStampAndExtensionStayWhole) {
    const RegionalFormats dotted{"%d.%m.%y", "%H:%M:%S", ':'};  // a 14-character stamp
    const RegionalFormats wordy{"%A %d %B %Y", "%H:%M:%S", ':'};
    struct Case {
        std::string database;
        RegionalFormats formats;
        int copy;
        std::string name;
    };
    const Case cases[] = {
        {"sales", dotted, 1, "sales06.12.26140512.tr"},
        // Exactly the procedure's 30 characters: nothing is cut; one more, and the name is.
        {"sales_eu_cent", dotted, 1, "sales_eu_cent06.12.26140512.tr"},
        {"sales_eu_centr", dotted, 1, "sales_eu_cent06.12.26140512.tr"},
        {"sales_eu_central_new", dotted, 1, "sales_eu_cent06.12.26140512.tr"},
        {"sales_eu_central_new", dotted, 2, "sales_eu_ce06.12.26140512-2.tr"},
        {"sales_eu_central_new", dotted, 12, "sales_eu_c06.12.26140512-12.tr"},
        {"sales", dotted, 3, "sales06.12.26140512-3.tr"},
        // A character of several bytes is dropped whole.
        {"продажи_филиал", dotted, 1, "продаж06.12.26140512.tr"},
        // Formats that leave no room for the database fall back to a compact stamp.
        {"sales", wordy, 1, "sales20261206140512.tr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database + " copy " + std::to_string(c.copy));
        const std::string name =
            dumpFileName(c.database, true, december6th(14, 5, 12), c.formats, c.copy);
        EXPECT_EQ(name, c.name);
        EXPECT_LE(name.size(), kProcedureNameLimit);
    }
}

TEST(freeDumpFileName, TheFirstCopyNotYetInAFolderIsTakenAndNamesOfLaterSecondsSortAfter) {
    const RegionalFormats iso{"%Y-%m-%d", "%H:%M:%S", ':'};
    std::set<std::string> folder;
    const auto taken = [&](const std::string& name) { return folder.count(name) > 0; };
    for (int pass = 0; pass < 3; ++pass)
        folder.insert(freeDumpFileName("sales", true, december6th(14, 5, 12), iso, taken));
    folder.insert(freeDumpFileName("sales", true, december6th(14, 5, 13), iso, taken));
    EXPECT_EQ(folder,
              (std::set<std::string>{"sales20261206140512.tr", "sales20261206140512-2.tr",
                                     "sales20261206140512-3.tr", "sales20261206140513.tr"}));
    EXPECT_EQ(*folder.rbegin(), "sales20261206140513.tr");
}

TEST(intervalSeconds, ATimeOfDayIsReadAsADurationAndAnythingElseIsNone) {
    struct Case {
        std::string text;
        char separator;
        std::optional<long> seconds;
    };
    const Case cases[] = {
        {"00:00", ':', 0},
        {"01:30", ':', 5400},
        {"23:59", ':', 86340},
        {"0:05", ':', 300},
        {"00:00:59", ':', 59},
        {" 01:00 ", ':', 3600},
        {"01.30", '.', 5400},
        {"01.30", ':', std::nullopt},
        {"24:00", ':', std::nullopt},
        {"12:60", ':', std::nullopt},
        {"12:30:60", ':', std::nullopt},
        {"1:2:3:4", ':', std::nullopt},
        {"", ':', std::nullopt},
        {"abc", ':', std::nullopt},
        {"-1:30", ':', std::nullopt},
        {"+1:30", ':', std::nullopt},
        {"001:30", ':', std::nullopt},
        {"12:", ':', std::nullopt},
        {":30", ':', std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.text + "'");
        EXPECT_EQ(intervalSeconds(c.text, c.separator), c.seconds);
    }
}

}  // namespace
