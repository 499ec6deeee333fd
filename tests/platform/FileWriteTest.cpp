// Log entries appended to a file start on a line of their own, whatever the file ended with.
#include "platform/FileWrite.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(AppendEntryToFile, AnEntryAfterAnUnfinishedLineGetsOneLineEndFirstAndNothingElseChanges) {
    struct Case {
        std::string before;
        std::string entry;
        std::string after;
    };
    const Case cases[] = {
        // An error record ends without a line end; the next activity entry used to be glued.
        {"\r\n$Err$for details.", "LOG DUMP ERROR: 8009\r\n",
         "\r\n$Err$for details.\r\nLOG DUMP ERROR: 8009\r\n"},
        {"\r\n$Err$for details.", "\r\n$Err$Error: next",
         "\r\n$Err$for details.\r\n$Err$Error: next"},
        {"line\r\n", "next\r\n", "line\r\nnext\r\n"},
        {"line\n", "next", "line\nnext"},
        {"line\r", "next", "line\rnext"},
        {"", "first", "first"},
        {"unfinished", "", "unfinished"},
    };
    tvr::testing::TempFolder dir;
    int n = 0;
    for (const Case& c : cases) {
        const auto file = dir / ("log" + std::to_string(n++));
        if (!c.before.empty()) std::ofstream(file, std::ios::binary) << c.before;
        ASSERT_EQ(tvr::platform::appendEntryToFile(file.string(), c.entry),
                  tvr::platform::AppendResult::Written);
        EXPECT_EQ(tvr::testing::fileText(file), c.after) << c.before << "|" << c.entry;
    }
}

}  // namespace
