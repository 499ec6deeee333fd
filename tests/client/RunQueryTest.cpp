// Scripts run batch by batch on the emulator, and the verdict of an installation.
#include "tests/support/ServerFixture.h"

#include "client/LogWriter.h"
#include "client/MessageHandlers.h"
#include "client/RunQuery.h"

#include <stdexcept>

using namespace tvr::client;
using namespace tvr::client::testing;

namespace {

class RunQuery : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        c = connect();
        ASSERT_EQ(c->RetCode(), CS_SUCCEED);
    }
    void TearDown() override {
        c.reset();
        ServerFixture::TearDown();
    }
    // The commands the emulator received from us, as the trace records them.
    std::string trace() const {
        std::string text;
        for (const auto& command : emulator->ownCommands())
            text += "-- connection " + std::to_string(command.connection) + ", " +
                    std::to_string(command.text.size()) + " bytes\n" + command.text + "\n";
        return text;
    }
    static std::string traced(const std::string& command) {
        return "-- connection 1, " + std::to_string(command.size()) + " bytes\n" + command + "\n";
    }
    std::unique_ptr<TSybaseConnect> c;
};

class ThrowingReceiver final : public TEventReceiver {
public:
    void ReceiveEvent(const TEventCT& event) override {
        if (event.Code == EventResultsEnd) throw std::runtime_error("receiver failed");
    }
};

}  // namespace

TEST_F(RunQuery, ScriptWithoutSeparatorIsSentWholeAndUnchanged) {
    TRunQuery runner(*c);
    const std::string script = "print 'one'\r\nprint 'two'\r\n";
    runner.RunScript(script);
    EXPECT_EQ(runner.BatchCount(), 0);
    EXPECT_EQ(trace(), traced(script));
    EXPECT_EQ(activity(), "one  12:00:01\r\ntwo  12:00:01\r\n");
}

TEST_F(RunQuery, EachBatchIsSentInOrderWhateverTheEarlierOnesDid) {
    TRunQuery runner(*c);
    runner.RunScript("select * from nosuch\r\ngo\r\nprint 'after'\r\ngo");
    EXPECT_EQ(runner.BatchCount(), 2);
    EXPECT_TRUE(runner.Batches().empty());
    EXPECT_EQ(trace(), traced("select * from nosuch\r\n") + traced("\r\nprint 'after'"));
    EXPECT_FALSE(c->ServerError());
}

TEST_F(RunQuery, LineFeedScriptSendsItsFinalGoToTheServer) {
    TRunQuery runner(*c);
    runner.RunScript("print 'a'\ngo\nprint 'b'\ngo");
    EXPECT_EQ(trace(), traced("print 'a'\n") + traced("\nprint 'b'\ngo"));
}

TEST_F(RunQuery, InstallationThatEndsWellWritesNoVerdict) {
    TRunQuery runner(*c);
    EXPECT_FALSE(runner.RunInstallScript("select * from nosuch\r\ngo\r\nprint 'done'\r\ngo"));
    // The early error is followed by an informational message: no verdict entry.
    EXPECT_TRUE(activity().ends_with("done  12:00:01\r\n")) << activity();
    EXPECT_EQ(activity().find("не установилась"), std::string::npos);
}

TEST_F(RunQuery, VerdictFollowsTheLastServerMessage) {
    TRunQuery runner(*c);
    EXPECT_TRUE(runner.RunInstallScript("print 'first'\r\ngo\r\nselect * from nosuch\r\ngo"));
    ASSERT_TRUE(c->ServerError());
    EXPECT_EQ(LastServerMessage().msgnumber, 208);
    const std::string message = lastServerMessageText();  // the server's text, ending in LF
    ASSERT_TRUE(message.ends_with("\n"));
    const std::string lastLine = message.substr(0, message.size() - 1);
    // The first entry starts on a line of its own after the record's unfinished last line; the
    // second is the message text again, with its own LF and one more.
    EXPECT_TRUE(activity().ends_with("$Err$" + lastLine +
                                     "\r\nОшибка: Процедура не установилась\n" + message + "\n"))
        << activity();
    const auto shown = activityView.texts();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[shown.size() - 3], "Ошибка: Процедура не установилась");
    EXPECT_EQ(shown[shown.size() - 2], lastLine);
    EXPECT_EQ(shown.back(), "");
    // The error log has the record and no verdict.
    EXPECT_EQ(errors().find("Ошибка"), std::string::npos);
}

TEST_F(RunQuery, ErrorDuringTheRunAbandonsItWithItsOwnEntry) {
    ThrowingReceiver receiver;
    setEventReceiver(&receiver);
    TRunQuery runner(*c);
    EXPECT_TRUE(runner.RunInstallScript("print 'one'\r\ngo\r\nprint 'two'\r\ngo"));
    setEventReceiver(&events);
    EXPECT_EQ(activity(), "one  12:00:01\r\nПоцедура не установилась ");
    EXPECT_EQ(trace(), traced("print 'one'\r\n"));
    EXPECT_EQ(activityView.texts().back(), "Поцедура не установилась ");
}

TEST_F(RunQuery, ErrorOfTheLastWritePassesToTheCaller) {
    TRunQuery runner(*c);
    c->SetLogFile(path("missing-folder/act.log"));
    ThrowingReceiver receiver;
    setEventReceiver(&receiver);
    EXPECT_THROW(runner.RunInstallScript("print 'one'\r\ngo\r\nprint 'two'"), LogFileError);
    setEventReceiver(&events);
}
