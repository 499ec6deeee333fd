// What is kept: real files with their times set, in a folder shared with files of others.
// Only this program's dump names of the database are old enough to go; history files go by
// the day in their name.
#include "engine/DumpFileName.h"
#include "engine/Retention.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace tvr::engine;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(std::vector<fs::path> paths) {
    std::vector<std::string> result;
    for (const auto& path : paths) result.push_back(path.filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

TEST(Retention, OnlyNamesOfThisProgramsDumpsOfTheDatabaseAreItsOwn) {
    const tvr::platform::RegionalFormats formats{"%d.%m.%Y", "%H:%M:%S", ':'};
    const struct {
        const char* name;
        bool own;
    } names[] = {
        {"sales06.12.2026140512.tr", true},
        {"sales06.12.2026140513-2.db", true},
        {"notes.txt", false},
        {"sales_backup.tr", false},
        {"other06.12.2026140512.tr", false},
        {"sales06.12.2026140512.tr.bak", false},
        {"sales06.12.2026140x12.tr", false},
    };
    for (const auto& n : names) EXPECT_EQ(isDumpFileOf("sales", n.name, formats), n.own) << n.name;
    // A database name too long for the procedure is shortened in the names: still its own.
    const std::string longName = "sales_eu_central_new";
    const std::tm when = [] {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 11;
        t.tm_mday = 6;
        t.tm_hour = 14;
        return t;
    }();
    EXPECT_TRUE(isDumpFileOf(longName, dumpFileName(longName, true, when, formats), formats));
}

TEST(Retention, HistoryFilesOfDaysBeforeTheDaysKeptExpire) {
    tvr::testing::TempFolder folder;
    for (const char* name : {"history-20261120.csv", "history-20261130.csv", "history-20261207.csv",
                             "history-old.csv", "history-2026112.csv"})
        std::ofstream(folder / name) << "start\r\n";
    const auto noon = HistoryClock::from_time_t(1'796'644'800);  // 2026-12-07 12:00 UTC
    EXPECT_EQ(names(expiredHistoryFiles(folder.string(), noon, 7)),
              (std::vector<std::string>{"history-20261120.csv"}));
}

}  // namespace
