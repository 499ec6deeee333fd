// The call statement as a server receives it.
#include "client/Sybase.h"
#include "engine/ProcedureCall.h"
#include "platform/RecordingPrompts.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tvr::engine;
using tvr::client::TSybaseConnect;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

TEST(ProcedureCallOnServer, StepIsSentAsUseMasterThenTheStatementExactly) {
    tvr::platform::RecordingPrompts prompts;
    tvr::testing::Emulator server("TVRCALL", {"sales"});
    char pattern[] = "/tmp/tvr-engine-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    {
        TSybaseConnect c("TVRCALL", "sa", "", dir + "/act.log", dir + "/err.log");
        ASSERT_EQ(c.Connect(), CS_SUCCEED);
        const std::string statement =
            SpTvrCallStatement({1, "sales", 1, 0, "/srv/dumps", "sales06.12.2026140512.tr"});
        c.Execute("use master");
        c.Execute(statement);
        const std::string trace = server.traceText();
        const std::string expected =
            "-- connection 1, 10 bytes\nuse master\n-- connection 1, " +
            std::to_string(statement.size()) + " bytes\n" + statement + "\n";
        ASSERT_GE(trace.size(), expected.size());
        EXPECT_EQ(trace.substr(trace.size() - expected.size()), expected);
        // Without the procedure installed the server's error reaches the error log.
        EXPECT_NE(readFile(dir + "/err.log").find("sp_TVR"), std::string::npos);
        EXPECT_TRUE(c.ServerError());
    }
    std::filesystem::remove_all(dir);
}
