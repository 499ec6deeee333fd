// sp_TVR called as the worker calls it: a dump on one emulator, its load on another.
#include "tests/support/ServerFixture.h"

#include "client/RunQuery.h"
#include "engine/PassSteps.h"
#include "engine/ProcedureCall.h"
#include "engine/ProcedureScript.h"

using namespace tvr::client;
using namespace tvr::client::testing;
using namespace tvr::engine;

namespace {

class DumpLoadCall : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        tvr::testing::EmulatorOptions options;
        options.name = "TVRRESERVE";
        options.databases = {"sales_copy"};
        reserveServer.emplace(options);
        dumps = dir / "dumps";
        std::filesystem::create_directory(dumps);
        main = connect();
        reserve = std::make_unique<TSybaseConnect>("TVRRESERVE", "sa", "", path("act.log"),
                                                   path("err.log"));
        ASSERT_EQ(main->RetCode(), CS_SUCCEED);
        ASSERT_EQ(reserve->Connect(), CS_SUCCEED);
        TRunQuery(*main).RunInstallScript(std::string(SpTvrInstallScript));
        TRunQuery(*reserve).RunInstallScript(std::string(SpTvrInstallScript));
        ASSERT_FALSE(main->ServerError());
        ASSERT_FALSE(reserve->ServerError());
        main->Execute("use sales");
        main->Execute("create table orders (id int, item varchar(30))");
        main->Execute("insert into orders values (1, 'first')");
    }
    void TearDown() override {
        main.reset();
        reserve.reset();
        reserveServer.reset();
        ServerFixture::TearDown();
    }

    // One step as the worker runs it: "use master", then the call.
    std::string step(TSybaseConnect& c, const TRS_dump_load& call) {
        const std::string statement = spTvrCallStatement(call);
        c.Execute("use master");
        c.Execute(statement);
        return statement;
    }
    // The server's trace ends with the two commands of the step, exactly as sent.
    static bool endsWithStep(const std::string& trace, const std::string& statement) {
        return trace.ends_with(" 10 bytes\nuse master\n-- connection 1, " +
                               std::to_string(statement.size()) + " bytes\n" + statement + "\n");
    }
    TRS_dump_load dumpCall(std::int32_t type, const std::string& file) const {
        return TRS_dump_load{type, "sales", 1, 0, dumps.string(), file};
    }
    TRS_dump_load loadCall(std::int32_t type, const std::string& file) const {
        return TRS_dump_load{type, "sales_copy", 0, 1, dumps.string(), file};
    }

    std::optional<tvr::testing::Emulator> reserveServer;
    std::filesystem::path dumps;
    std::unique_ptr<TSybaseConnect> main;
    std::unique_ptr<TSybaseConnect> reserve;
};

}  // namespace

TEST_F(DumpLoadCall, FullPassThenTransactionPassKeepTheReserveInStep) {
    const std::string fullDump = step(*main, dumpCall(0, "sales.db"));
    EXPECT_TRUE(endsWithStep(emulator->traceText(), fullDump));
    EXPECT_EQ(main->ReturnStatus(), 1);
    EXPECT_TRUE(std::filesystem::exists(dumps / "sales.db"));
    const std::string fullLoad = step(*reserve, loadCall(0, "sales.db"));
    EXPECT_TRUE(endsWithStep(reserveServer->traceText(), fullLoad));
    EXPECT_EQ(reserve->ReturnStatus(), 1);

    main->Execute("use sales");
    main->Execute("insert into orders values (2, 'second')");
    step(*main, dumpCall(1, "sales.tr"));
    EXPECT_EQ(main->ReturnStatus(), 1);
    step(*reserve, loadCall(1, "sales.tr"));
    EXPECT_EQ(reserve->ReturnStatus(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "err.log")) << errors();

    // The activity log tells the story: the procedure's prints and the Backup Server's lines.
    const std::string log = activity();
    EXPECT_NE(log.find("Start Dump  12:00:01\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Start Load  12:00:01\r\n"), std::string::npos);
    EXPECT_NE(log.find("Backup Server: "), std::string::npos);

    reserve->Execute("online database sales_copy");
    reserve->Execute("use sales_copy");
    reserve->Execute("select id, item from orders order by id");
    EXPECT_EQ(reserve->ColumnValues("item"), (std::vector<std::string>{"first", "second"}));
}

TEST_F(DumpLoadCall, NeitherStepGivesOnlyAStatusResult) {
    main->Execute("select name from master..sysdatabases");
    const std::string before = readFile(dir / "act.log");
    step(*main, TRS_dump_load{0, "sales", 0, 0, dumps.string(), "none.db"});
    EXPECT_EQ(main->ReturnStatus(), 1);
    EXPECT_EQ(main->ColCount(), 0);
    EXPECT_EQ(main->RowCount(), 0);
    EXPECT_EQ(readFile(dir / "act.log"), before);
    EXPECT_TRUE(std::filesystem::is_empty(dumps));
}

TEST_F(DumpLoadCall, DumpWinsOverLoad) {
    TRS_dump_load both = dumpCall(0, "both.db");
    both.pr_load = 1;
    step(*main, both);
    EXPECT_EQ(main->ReturnStatus(), 1);
    EXPECT_TRUE(std::filesystem::exists(dumps / "both.db"));
    EXPECT_EQ(activity().find("Start Load"), std::string::npos);
}

TEST_F(DumpLoadCall, TransactionLoadWithoutADeviceNameDoesNothing) {
    // The program always names the file; a NULL comes only from a statement written by hand.
    reserve->Execute("use master");
    reserve->Execute(
        "execute sp_TVR @TypeTrans=1, @database_name=\"sales_copy\", @pr_dump=0, "
        "@pr_load=1, @pathname=\"" +
        dumps.string() + "/\", @device_name=NULL");
    EXPECT_EQ(reserve->ReturnStatus(), 1);
    EXPECT_FALSE(reserve->ServerError());
    EXPECT_TRUE(activity().ends_with("Start Load  12:00:01\r\n")) << activity();
}

TEST_F(DumpLoadCall, FolderTypedWithItsSeparatorGetsASecondOne) {
    TRS_dump_load call = dumpCall(0, "sales.db");
    call.pathname += "/";
    const std::string statement = step(*main, call);
    EXPECT_NE(statement.find("@pathname=\"" + dumps.string() + "//\""), std::string::npos);
    EXPECT_EQ(main->ReturnStatus(), 1);
    EXPECT_NE(activity().find(dumps.string() + "//sales.db"), std::string::npos) << activity();
    EXPECT_TRUE(std::filesystem::exists(dumps / "sales.db"));
}

TEST_F(DumpLoadCall, LongNamesAreCutAtTheDeclaredWidths) {
    // A database name of more than 30 characters reaches the procedure cut to 30.
    main->Execute("create database abcdefghijklmnopqrstuvwxyz0123");  // 30 characters
    TRS_dump_load longName = dumpCall(0, "long.db");
    longName.database_name = "abcdefghijklmnopqrstuvwxyz0123456789";
    step(*main, longName);
    EXPECT_EQ(main->ReturnStatus(), 1) << activity();
    EXPECT_TRUE(std::filesystem::exists(dumps / "long.db"));

    // A device path of more than 100 characters is cut to 100.
    std::filesystem::path deep = dumps;
    while (deep.string().size() < 90) deep /= "folder";
    std::filesystem::create_directories(deep);
    TRS_dump_load longPath = dumpCall(0, "sales_a_rather_long_name.db");
    longPath.pathname = deep.string();
    step(*main, longPath);
    const std::string device = (deep.string() + "/sales_a_rather_long_name.db").substr(0, 100);
    EXPECT_EQ(main->ReturnStatus(), 1);
    EXPECT_TRUE(std::filesystem::exists(device)) << device;
}

TEST_F(DumpLoadCall, FailedDumpReturnsTheNegatedErrorAndSaysSo) {
    main->Execute("emulator fault error 8009");
    step(*main, dumpCall(0, "sales.db"));
    EXPECT_EQ(main->ReturnStatus(), -8009);
    EXPECT_NE(activity().find("LOG DUMP ERROR: 8009  12:00:01\r\n"), std::string::npos)
        << activity();
    EXPECT_NE(errors().find("number 8009"), std::string::npos);
    EXPECT_FALSE(main->ServerError());  // the print came last
}

TEST_F(DumpLoadCall, FailedLoadReturnsTheNegatedErrorWithoutAPrintOfItsOwn) {
    // A transaction load into a database that was never loaded is refused.
    step(*main, dumpCall(0, "sales.db"));
    step(*main, dumpCall(1, "sales.tr"));
    const std::string before = activity();
    step(*reserve, loadCall(1, "sales.tr"));
    EXPECT_EQ(reserve->ReturnStatus(), -4306);
    EXPECT_TRUE(reserve->ServerError());
    // The server's error, and of the procedure's own texts only "Start Load".
    const std::string during = activity().substr(before.size());
    EXPECT_EQ(during.rfind("Start Load  12:00:01\r\n\r\n$Err$\r\n$Err$Error: Time: 12:00:01;  "
                           "number 4306;",
                           0),
              0u)
        << during;
    EXPECT_EQ(during.find("LOG DUMP ERROR"), std::string::npos);
    EXPECT_NE(errors().find("number 4306;"), std::string::npos);
}

TEST_F(DumpLoadCall, QuotesInTheTextsStayInsideTheirConstants) {
    // Unescaped, the quote would end the constant and the server would run another statement.
    TRS_dump_load call = dumpCall(0, "it\"s.db");
    const std::string statement = step(*main, call);
    EXPECT_NE(statement.find("@device_name=\"it\"\"s.db\""), std::string::npos);
    EXPECT_EQ(main->ReturnStatus(), 1) << activity();
    EXPECT_TRUE(std::filesystem::exists(dumps / "it\"s.db"));
}

TEST_F(DumpLoadCall, EachStepIsJudgedByItsStatusAndADeadConnectionIsNotUsed) {
    const auto run = [](TSybaseConnect& c, const TRS_dump_load& call) {
        return runProcedureStep(c, spTvrCallStatement(call));
    };
    EXPECT_EQ(run(*main, dumpCall(0, "sales.db")), (StepResult{StepOutcome::Ok, 0, false}));
    // The same status a failed statement gives, whatever came before it.
    main->Execute("emulator fault error 8009");
    EXPECT_EQ(run(*main, dumpCall(1, "a.tr")), (StepResult{StepOutcome::Failed, 8009, false}));
    EXPECT_EQ(run(*reserve, loadCall(1, "missing.tr")).outcome, StepOutcome::Failed);
    // Without its procedure there is no status: the server's error stands for it.
    reserve->Execute("use sybsystemprocs");
    reserve->Execute("drop procedure sp_TVR");
    EXPECT_EQ(run(*reserve, loadCall(0, "sales.db")),
              (StepResult{StepOutcome::Failed, 2812, false}));

    main->Execute("emulator fault disconnect");
    EXPECT_EQ(run(*main, dumpCall(1, "b.tr")), (StepResult{StepOutcome::Failed, 0, true}));
    const std::size_t traced = emulator->traceText().size();
    EXPECT_EQ(run(*main, dumpCall(1, "c.tr")), (StepResult{StepOutcome::NotReached, 0, true}));
    EXPECT_EQ(emulator->traceText().size(), traced);
}

TEST_F(DumpLoadCall, TheChainCheckNamesWhyATransactionDumpWouldBeRefused) {
    EXPECT_NE(tranDumpableStatus(*main, "sales").value_or(0) & 64, 0);  // never dumped
    runProcedureStep(*main, spTvrCallStatement(dumpCall(0, "sales.db")));
    EXPECT_EQ(tranDumpableStatus(*main, "sales"), 0);
    main->Execute("dump transaction sales with truncate_only");
    EXPECT_EQ(tranDumpableStatus(*main, "sales"), 32);
    EXPECT_EQ(tranDumpableStatus(*main, "nosuch\"db"), 1);
    // A server that cannot answer gives none, not a number.
    main->Execute("emulator fault disconnect");
    main->Execute("dump database sales to \"" + (dumps / "cut.db").string() + "\"");
    EXPECT_EQ(tranDumpableStatus(*main, "sales"), std::nullopt);
}
