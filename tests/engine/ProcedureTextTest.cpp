// The procedure's installation script and the statement that calls it, as the servers get them.
#include "engine/ProcedureCall.h"
#include "engine/ProcedureScript.h"
#include "tests/simdump/SpTvrScript.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tvr::engine;

TEST(ProcedureScript, LinesEndWithCrLfAndTheFinalGoHasNoLineEnd) {
    const std::string_view s = SpTvrInstallScript;
    EXPECT_EQ(s.size(), 1967u);
    EXPECT_TRUE(s.starts_with("use sybsystemprocs\r\ngo\r\n\r\nIf Exists(Select name\r\n"));
    EXPECT_TRUE(s.ends_with("return 1\r\nend\r\n\r\ngo"));
    std::size_t crlf = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(s[i - 1], '\r') << "bare LF at " << i;
            ++crlf;
        }
        if (s[i] == '\r') {
            EXPECT_EQ(s[i + 1], '\n') << "bare CR at " << i;
        }
    }
    EXPECT_EQ(crlf, 86u);
    EXPECT_EQ(std::count(s.begin(), s.end(), '\t'), 3);
    EXPECT_NE(s.find("\r\n\t\t DUMP DATABASE @database_name to @devname\r\n"), s.npos);
    EXPECT_NE(s.find("\r\n      \t LOAD TRANSACTION @database_name from @devname\r\n"), s.npos);
    EXPECT_NE(s.find("\r\n           print \"LOG DUMP ERROR: %1!\", @error\r\n"), s.npos);
    EXPECT_NE(s.find("\r\n     @device_name  varchar(30) =NULL\r\n"), s.npos);
}

TEST(ProcedureScript, EveryByteMatchesTheEmulatorTestsOwnTranscription) {
    // The emulator's tests install their own copy, written out separately; the two agreeing
    // byte for byte guards the middle of the text that the checks above do not look at.
    const std::string_view theirs = tvr::testing::kSpTvrScript;
    ASSERT_EQ(SpTvrInstallScript.size(), theirs.size());
    for (std::size_t i = 0; i < theirs.size(); ++i)
        ASSERT_EQ(SpTvrInstallScript[i], theirs[i]) << "first difference at byte " << i;
}

TEST(ProcedureCall, StatementHasTheExactFormWithTheSeparatorAppended) {
    TRS_dump_load dump{1, "sales", 1, 0, "/srv/dumps", "sales06.12.2026140512.tr"};
    EXPECT_EQ(SpTvrCallStatement(dump),
              "execute sp_TVR @TypeTrans=1, @database_name=\"sales\", @pr_dump=1, @pr_load=0, "
              "@pathname=\"/srv/dumps/\", @device_name=\"sales06.12.2026140512.tr\"");
    TRS_dump_load load{0, "sales_copy", 0, 1, "/srv/dumps/", ""};
    // A folder typed with its separator gets a second one.
    EXPECT_EQ(SpTvrCallStatement(load),
              "execute sp_TVR @TypeTrans=0, @database_name=\"sales_copy\", @pr_dump=0, "
              "@pr_load=1, @pathname=\"/srv/dumps//\", @device_name=\"\"");
}

TEST(ProcedureCall, DoubleQuotesInsideTheTextsAreDoubled) {
    TRS_dump_load call{1, "a\"b", 1, 0, "/x\"/y", "f\"\", @pr_load=1"};
    EXPECT_EQ(SpTvrCallStatement(call),
              "execute sp_TVR @TypeTrans=1, @database_name=\"a\"\"b\", @pr_dump=1, @pr_load=0, "
              "@pathname=\"/x\"\"/y/\", @device_name=\"f\"\"\"\", @pr_load=1\"");
    EXPECT_EQ(QuotedConstantText("no quote 'here'"), "no quote 'here'");
    EXPECT_EQ(QuotedConstantText("\""), "\"\"");
}
