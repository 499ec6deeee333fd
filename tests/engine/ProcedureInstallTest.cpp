// Installing sp_TVR with the script runner and reading it back from the server.
#include "tests/support/ServerFixture.h"

#include "client/RunQuery.h"
#include "client/ScriptSplit.h"
#include "engine/ProcedureScript.h"

using namespace tvr::client;
using namespace tvr::client::testing;
using tvr::engine::SpTvrInstallScript;

namespace {

class ProcedureInstall : public ServerFixture {
protected:
    // The text the server keeps for sp_TVR, from sp_helptext's rows of at most 255 characters.
    std::string installedText(TSybaseConnect& c) {
        c.Execute("use sybsystemprocs");
        c.Execute("sp_helptext sp_TVR");
        EXPECT_EQ(c.ColCount(), 1);
        if (c.ColCount() != 1) return {};
        // Each row is followed by LF; rows are cut at 255 characters, so the pieces are found
        // by length: the line ends inside the text are its own.
        std::string column = c.ColTexts()[0];
        column.erase(0, column.find('\n') + 1);
        std::string text;
        for (int row = 0; row < c.RowCount(); ++row) {
            const std::size_t piece = row + 1 < c.RowCount() ? std::size_t{255} : column.size() - 1;
            text += column.substr(0, piece);
            EXPECT_EQ(column[piece], '\n');
            column.erase(0, piece + 1);
        }
        return text;
    }
    static std::string procedureBatch() { return SplitScript(SpTvrInstallScript).at(2); }
};

}  // namespace

TEST_F(ProcedureInstall, InstalledProcedureReadsBackIdenticalToTheScript) {
    auto c = connect();
    TRunQuery runner(*c);
    runner.RunInstallScript(std::string(SpTvrInstallScript));
    EXPECT_FALSE(c->ServerError());
    EXPECT_EQ(activity().find("не установилась"), std::string::npos) << activity();
    EXPECT_EQ(installedText(*c), procedureBatch());
    // The three batches reached the server as the script holds them.
    const std::string trace = emulator->traceText();
    EXPECT_NE(trace.find("bytes\nuse sybsystemprocs\r\n\n"), std::string::npos);
    EXPECT_NE(trace.find(procedureBatch() + "\n"), std::string::npos);
}

TEST_F(ProcedureInstall, SecondInstallationReplacesTheFirst) {
    auto c = connect();
    TRunQuery runner(*c);
    runner.RunInstallScript(std::string(SpTvrInstallScript));
    runner.RunInstallScript(std::string(SpTvrInstallScript));
    EXPECT_FALSE(c->ServerError());
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log")) << errors();
    EXPECT_EQ(installedText(*c), procedureBatch());
}

TEST_F(ProcedureInstall, CreateWithoutTheDropGivesTheVerdict) {
    auto c = connect();
    TRunQuery runner(*c);
    runner.RunInstallScript(std::string(SpTvrInstallScript));
    // Only the procedure batch again: the name exists, the server refuses it.
    runner.RunInstallScript("use sybsystemprocs\r\ngo" + procedureBatch() + "go");
    EXPECT_TRUE(c->ServerError());
    EXPECT_NE(activity().find("Ошибка: Процедура не установилась\n"), std::string::npos)
        << activity();
}
