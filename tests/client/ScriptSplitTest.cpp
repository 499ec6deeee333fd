// Cutting scripts into batches at their "go" lines.
#include "client/ScriptSplit.h"
#include "engine/ProcedureScript.h"

#include <gtest/gtest.h>

using namespace tvr::client;
using Strings = std::vector<std::string>;

namespace {

Strings split(const std::string& script) { return SplitScript(script); }

}  // namespace

TEST(ScriptSplit, ScriptWithoutSeparatorHasNoBatches) {
    EXPECT_EQ(split("select 1\r\nselect 2\r\n"), Strings{});
    // "go" on the very first line, in capitals, or indented is no separator.
    EXPECT_EQ(split("go\r\nselect 1"), Strings{});
    EXPECT_EQ(split("select 1\r\nGO\r\nselect 2"), Strings{});
    EXPECT_EQ(split("select 1\r\n go\r\nselect 2"), Strings{});
    EXPECT_EQ(split("select 1\r\ngo"), Strings{});
    EXPECT_EQ(split(""), Strings{});
}

TEST(ScriptSplit, EachBatchKeepsTheLineEndBeforeItsGo) {
    EXPECT_EQ(split("a\r\ngo\r\nb\r\ngo\r\nc"), (Strings{"a\r\n", "\r\nb\r\n", "\r\nc"}));
}

TEST(ScriptSplit, LineFeedOnlyScriptKeepsItsFinalGo) {
    EXPECT_EQ(split("a\ngo\nb\ngo"), (Strings{"a\n", "\nb\ngo"}));
}

TEST(ScriptSplit, FinalGoWithoutLineEndIsDropped) {
    EXPECT_EQ(split("a\r\ngo\r\nb\r\ngo"), (Strings{"a\r\n", "\r\nb"}));
    // Dropped right after a cut, it leaves an empty last batch.
    EXPECT_EQ(split("a\r\ngo\r\ngo"), (Strings{"a\r\n", ""}));
    // Too short to hold CR LF "go": kept as it is.
    EXPECT_EQ(split("a\ngo\ngo"), (Strings{"a\n", "\ngo"}));
}

TEST(ScriptSplit, HigherFormWinsOverAnEarlierLowerOne) {
    EXPECT_EQ(split("a\ngo \nb\r\ngo\r\nc"), (Strings{"a\ngo \nb\r\n", "\r\nc"}));
    EXPECT_EQ(split("a\ngo\nb\ngo x\nc"), (Strings{"a\ngo\nb\n", " x\nc"}));
}

TEST(ScriptSplit, GoWithACountStartsTheNextBatchWithTheRestOfItsLine) {
    EXPECT_EQ(split("a\r\ngo 10\r\nb"), (Strings{"a\r\n", " 10\r\nb"}));
}

TEST(ScriptSplit, TrailingGoLineLeavesABatchOfOneLineEnd) {
    EXPECT_EQ(split("a\r\ngo\r\n"), (Strings{"a\r\n", "\r\n"}));
    EXPECT_EQ(split("a\r\ngo\r\nb\r\ngo\r\n"), (Strings{"a\r\n", "\r\nb\r\n", "\r\n"}));
}

TEST(ScriptSplit, ProcedureScriptSplitsIntoItsThreeBatches) {
    const std::string script(tvr::engine::SpTvrInstallScript);
    const Strings batches = split(script);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0], "use sybsystemprocs\r\n");
    EXPECT_EQ(batches[1].rfind("\r\n\r\nIf Exists(Select name\r\n", 0), 0u);
    EXPECT_TRUE(batches[1].ends_with("  Drop Procedure sp_TVR\r\n"));
    EXPECT_EQ(batches[2].rfind("\r\n\r\nCreate Proc sp_TVR (\r\n", 0), 0u);
    EXPECT_TRUE(batches[2].ends_with("return 1\r\nend\r\n"));
    EXPECT_EQ(batches[0].size() + batches[1].size() + batches[2].size() + 2 + 2 + 4, script.size());
}
