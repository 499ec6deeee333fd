#include "sim/procs/SpTvr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tvr::sim;

namespace {

// Records what the procedure asks the server to do; failures are scripted per statement kind.
struct Script : SpTvrActions {
    void print(const std::string& text, int line) override {
        log.push_back("print " + text + " @" + std::to_string(line));
    }
    BackupResult truncateLog(const std::string& db, int) override {
        log.push_back("truncate " + db);
        return {truncateError, false};
    }
    BackupResult dumpDatabase(const std::string& db, const std::string& dev, int) override {
        log.push_back("dump database " + db + " to " + dev);
        return {dumpError, drop};
    }
    BackupResult dumpTransaction(const std::string& db, const std::string& dev, int) override {
        log.push_back("dump tran " + db + " to " + dev);
        return {dumpError, drop};
    }
    BackupResult loadDatabase(const std::string& db, const std::string& dev, int) override {
        log.push_back("load database " + db + " from " + dev);
        return {loadError, drop};
    }
    BackupResult loadTransaction(const std::string& db, const std::string& dev, int) override {
        log.push_back("load tran " + db + " from " + dev);
        return {loadError, drop};
    }
    void callError(const ServerError& e) override {
        log.push_back("error " + std::to_string(e.number) + " " + e.text);
    }

    std::vector<std::string> log;
    int truncateError = 0, dumpError = 0, loadError = 0;
    bool drop = false;
};

using Args = std::array<ProcedureArgument, SpTvrParameterCount>;

Args call(std::optional<std::string> type, std::optional<std::string> db,
          std::optional<std::string> dump, std::optional<std::string> load,
          std::optional<std::string> path, std::optional<std::string> device) {
    Args a;
    const std::optional<std::string> values[] = {type, db, dump, load, path, device};
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = {true, values[i]};
    return a;
}

const std::string kText =
    "Create Proc sp_TVR (\r\n@TypeTrans int)\r\nAs\r\nprint \"Start Dump\"\r\nprint \"Start Load\"\r\n";

TEST(SpTvrTest, DumpStepsAndTheirStatus) {
    Script s;
    EXPECT_EQ(runSpTvr(call("0", "sales", "1", "0", "/d/", "f.db"), s, kText).returnStatus, 1);
    EXPECT_EQ(s.log, (std::vector<std::string>{"print Start Dump @4", "truncate sales",
                                               "dump database sales to /d/f.db"}));

    Script t;
    t.dumpError = 8009;
    t.truncateError = 4221;  // the truncate_only outcome is not examined
    EXPECT_EQ(runSpTvr(call("1", "sales", "1", "0", "/d/", "f.tr"), t, kText).returnStatus, -8009);
    EXPECT_EQ(t.log, (std::vector<std::string>{"print Start Dump @4", "dump tran sales to /d/f.tr",
                                               "print LOG DUMP ERROR: 8009 @44"}));

    Script other;  // a type the client never sends: no dump statement, status 1
    EXPECT_EQ(runSpTvr(call("7", "sales", "1", "0", "/d/", "f"), other, kText).returnStatus, 1);
    EXPECT_EQ(other.log.size(), 1u);
}

TEST(SpTvrTest, PrDumpWinsOverPrLoad) {
    Script s;
    EXPECT_EQ(runSpTvr(call("1", "sales", "1", "1", "/d/", "f.tr"), s, kText).returnStatus, 1);
    for (const auto& line : s.log) EXPECT_EQ(line.find("load"), std::string::npos) << line;
}

TEST(SpTvrTest, LoadStepsAndTheNullDevice) {
    Script s;
    EXPECT_EQ(runSpTvr(call("0", "reserve", "0", "1", "/l/", "f.db"), s, kText).returnStatus, 1);
    EXPECT_EQ(s.log, (std::vector<std::string>{"print Start Load @5",
                                               "load database reserve from /l/f.db"}));

    Script nullDevice;
    EXPECT_EQ(runSpTvr(call("1", "reserve", "0", "1", "/l/", std::nullopt), nullDevice, kText)
                  .returnStatus,
              1);
    EXPECT_EQ(nullDevice.log, (std::vector<std::string>{"print Start Load @5"}));

    Script failed;
    failed.loadError = 4305;
    EXPECT_EQ(runSpTvr(call("1", "reserve", "0", "1", "/l/", "f.tr"), failed, kText).returnStatus,
              -4305);
    EXPECT_EQ(failed.log.back(), "load tran reserve from /l/f.tr");  // no print of its own

    Script neither;
    EXPECT_EQ(runSpTvr(call("1", "reserve", "0", "0", "/l/", "f.tr"), neither, kText).returnStatus,
              1);
    EXPECT_TRUE(neither.log.empty());
}

TEST(SpTvrTest, ParametersAreCutToTheirDeclaredWidths) {
    Script s;
    const std::string longDb(40, 'd');
    const std::string folder = "/" + std::string(90, 'p') + "/";
    runSpTvr(call("1", longDb, "1", "0", folder, "0123456789abcdefghijklmnopqrstuvwxyz"), s, kText);
    const std::string expectedDevice = (folder + "0123456789abcdefghijklmnopqrst").substr(0, 100);
    EXPECT_EQ(s.log[1], "dump tran " + std::string(30, 'd') + " to " + expectedDevice);
}

TEST(SpTvrTest, RefusedCallsDoNotRun) {
    Script missing;
    Args a = call("1", "sales", "1", "0", "/d/", "f");
    a[PrLoad] = {};
    EXPECT_FALSE(runSpTvr(a, missing, kText).returnStatus);
    ASSERT_EQ(missing.log.size(), 1u);
    EXPECT_EQ(missing.log[0].rfind("error 201 Procedure sp_TVR expects parameter @pr_load", 0), 0u)
        << missing.log[0];

    Script noDevice;  // @device_name has a default
    a = call("1", "reserve", "0", "1", "/l/", std::nullopt);
    a[DeviceName] = {};
    EXPECT_EQ(runSpTvr(a, noDevice, kText).returnStatus, 1);

    Script bad;
    EXPECT_FALSE(runSpTvr(call("x", "sales", "1", "0", "/d/", "f"), bad, kText).returnStatus);
    EXPECT_EQ(bad.log[0].rfind("error 257", 0), 0u);

    Script dropped;
    dropped.drop = true;
    EXPECT_TRUE(runSpTvr(call("0", "sales", "1", "0", "/d/", "f"), dropped, kText).dropConnection);
}

}  // namespace
