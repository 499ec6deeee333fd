// The Backup Server against real SQLite files, with a small host standing in for the data
// server's catalog. The same behaviour is exercised end to end through the Client-Library in
// the emulator's protocol tests.
#include "sim/backup/BackupServer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "sim/backup/DumpFile.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace tvr::sim;

namespace {

class Db {
public:
    explicit Db(const fs::path& path) {
        sqlite3_open(path.c_str(), &db_);
        sqlite3_busy_timeout(db_, 30000);
        exec("PRAGMA journal_mode=WAL");
        logchain::ensure(db_);
    }
    ~Db() { sqlite3_close(db_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    void exec(const std::string& sql) {
        char* msg = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK)
            << (msg ? msg : "") << sql;
    }
    // A change as the data server makes it: the statement and its log record in one transaction.
    void change(const std::string& sql) {
        exec("BEGIN IMMEDIATE");
        exec(sql);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_,
                           "INSERT INTO aseemu_log (at, sql) VALUES ('2026-12-07 10:00:00.000', ?)",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, sql.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_finalize(st);
        exec("COMMIT");
    }
    std::string rows(const std::string& sql) {
        std::string out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return "error: " + std::string(sqlite3_errmsg(db_));
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const auto* t = sqlite3_column_text(st, i);
                out += t ? reinterpret_cast<const char*>(t) : "NULL";
                out += i + 1 < sqlite3_column_count(st) ? "," : ";";
            }
        }
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

class TestHost : public DatabaseHost {
public:
    explicit TestHost(fs::path dir) : dir_(std::move(dir)) {}
    std::optional<fs::path> databaseFile(const std::string& name) override {
        if (!known.count(name)) return std::nullopt;
        return dir_ / (name + ".db");
    }
    int usersOf(const std::string& name) override { return name == inUse ? 1 : 0; }
    bool isLoading(const std::string& name) override { return loading.count(name) > 0; }
    void setLoading(const std::string& name, bool on) override {
        if (on)
            loading.insert(name);
        else
            loading.erase(name);
    }
    bool isSuspect(const std::string& name) override { return suspect.count(name) > 0; }
    void setSuspect(const std::string& name, bool on) override {
        if (on)
            suspect.insert(name);
        else
            suspect.erase(name);
    }
    LogDumpability logDumpability(const std::string&) override { return {}; }
    std::set<std::string> known;
    std::set<std::string> suspect;
    std::set<std::string> loading;
    std::string inUse;

private:
    fs::path dir_;
};

struct Recorder : MessageSink {
    void send(const ServerError& m) override { messages.push_back(m); }
    bool has(int number) const {
        for (const auto& m : messages)
            if (m.number == number) return true;
        return false;
    }
    bool saysSomething(const std::string& part) const {
        for (const auto& m : messages)
            if (m.text.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<ServerError> messages;
};

class BackupServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "dumps");
        host_ = std::make_unique<TestHost>(dir_);
        host_->known = {"sales", "reserve", "other", "master"};
        main_ = std::make_unique<Db>(dir_ / "sales.db");
        reserve_ = std::make_unique<Db>(dir_ / "reserve.db");
        Db other(dir_ / "other.db");
        main_->change("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT)");
        main_->change("INSERT INTO t VALUES (1, 'one'), (2, 'two')");
        makeServer(BackupServerOptions{});
    }
    void TearDown() override {
        server_.reset();
        main_.reset();
        reserve_.reset();
    }
    void makeServer(BackupServerOptions options) {
        options.serverName = "MAIN";
        options.networkName = "MAIN_BS";
        options.scratchFolder = dir_ / "scratch";
        server_ = std::make_unique<BackupServer>(options, *host_, faults_);
    }
    std::string dev(const std::string& name) const { return (dir_ / "dumps" / name).string(); }

    tvr::testing::TempFolder folder_{"tvr-backup"};
    fs::path dir_ = folder_.path();
    std::unique_ptr<TestHost> host_;
    std::unique_ptr<Db> main_;
    std::unique_ptr<Db> reserve_;
    FaultPlan faults_;
    std::unique_ptr<BackupServer> server_;
    Recorder out_;
};

TEST_F(BackupServerTest, FullCycleIntoADatabaseOfAnotherName) {
    ASSERT_EQ(server_->truncateLog("sales", out_).error, 0);
    ASSERT_EQ(server_->dumpDatabase("sales", dev("full.db"), out_).error, 0);
    EXPECT_TRUE(out_.saysSomething("Backup Server: 3.42.1.1: DUMP is complete (database sales)."));
    for (const auto& m : out_.messages) EXPECT_LE(m.severity, 10) << m.text;

    ASSERT_EQ(server_->loadDatabase("reserve", dev("full.db"), out_).error, 0);
    EXPECT_TRUE(host_->isLoading("reserve"));
    EXPECT_EQ(reserve_->rows("SELECT id, name FROM t ORDER BY id"), "1,one;2,two;");

    main_->change("INSERT INTO t VALUES (3, 'three')");
    main_->change("UPDATE t SET name = 'uno' WHERE id = 1");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t1.tr"), out_).error, 0);
    ASSERT_EQ(server_->loadTransaction("reserve", dev("t1.tr"), out_).error, 0);
    main_->change("DELETE FROM t WHERE id = 2");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t2.tr"), out_).error, 0);
    ASSERT_EQ(server_->loadTransaction("reserve", dev("t2.tr"), out_).error, 0);
    // An empty transaction dump is still the next in sequence.
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t3.tr"), out_).error, 0);
    ASSERT_EQ(server_->loadTransaction("reserve", dev("t3.tr"), out_).error, 0);

    ASSERT_EQ(server_->onlineDatabase("reserve", out_).error, 0);
    EXPECT_FALSE(host_->isLoading("reserve"));
    EXPECT_EQ(reserve_->rows("SELECT id, name FROM t ORDER BY id"),
              main_->rows("SELECT id, name FROM t ORDER BY id"));
    EXPECT_EQ(reserve_->rows("SELECT id, name FROM t ORDER BY id"), "1,uno;3,three;");
    // Online again is no error and says nothing.
    Recorder quiet;
    EXPECT_EQ(server_->onlineDatabase("reserve", quiet).error, 0);
    EXPECT_TRUE(quiet.messages.empty());
}

TEST_F(BackupServerTest, TransactionLoadsMustFollowInSequenceWhileLoading) {
    ASSERT_EQ(server_->dumpDatabase("sales", dev("full.db"), out_).error, 0);
    main_->change("INSERT INTO t VALUES (3, 'three')");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t1.tr"), out_).error, 0);
    main_->change("INSERT INTO t VALUES (4, 'four')");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t2.tr"), out_).error, 0);

    // Before any database load the reserve is online: activity since the last load.
    EXPECT_EQ(server_->loadTransaction("reserve", dev("t1.tr"), out_).error,
              errors::kActivitySinceLoad);

    ASSERT_EQ(server_->loadDatabase("reserve", dev("full.db"), out_).error, 0);
    Recorder skipped;
    EXPECT_EQ(server_->loadTransaction("reserve", dev("t2.tr"), skipped).error,
              errors::kOutOfSequence);
    EXPECT_TRUE(skipped.saysSomething("is out of sequence"));
    EXPECT_EQ(reserve_->rows("SELECT count(*) FROM t"), "2;");

    ASSERT_EQ(server_->loadTransaction("reserve", dev("t1.tr"), out_).error, 0);
    EXPECT_EQ(server_->loadTransaction("reserve", dev("t1.tr"), out_).error,
              errors::kOutOfSequence);
    ASSERT_EQ(server_->loadTransaction("reserve", dev("t2.tr"), out_).error, 0);
    EXPECT_EQ(reserve_->rows("SELECT count(*) FROM t"), "4;");

    ASSERT_EQ(server_->onlineDatabase("reserve", out_).error, 0);
    main_->change("INSERT INTO t VALUES (5, 'five')");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t3.tr"), out_).error, 0);
    EXPECT_EQ(server_->loadTransaction("reserve", dev("t3.tr"), out_).error,
              errors::kActivitySinceLoad);

    // A transaction dump of another database's chain never fits.
    Db other(dir_ / "other.db");
    other.change("CREATE TABLE u (x INTEGER)");
    ASSERT_EQ(server_->loadDatabase("reserve", dev("full.db"), out_).error, 0);
    // Never dumped: its log first needs a database dump.
    EXPECT_EQ(server_->dumpTransaction("other", dev("o1.tr"), out_).error, errors::kTruncatedChain);
    ASSERT_EQ(server_->dumpDatabase("other", dev("other.db"), out_).error, 0);
    ASSERT_EQ(server_->dumpTransaction("other", dev("o1.tr"), out_).error, 0);
    EXPECT_EQ(server_->loadTransaction("reserve", dev("o1.tr"), out_).error,
              errors::kOutOfSequence);
}

TEST_F(BackupServerTest, TruncateOnlyBreaksTheChainUntilTheNextDatabaseDump) {
    ASSERT_EQ(server_->dumpDatabase("sales", dev("full.db"), out_).error, 0);
    ASSERT_EQ(server_->loadDatabase("reserve", dev("full.db"), out_).error, 0);
    main_->change("INSERT INTO t VALUES (3, 'three')");
    ASSERT_EQ(server_->truncateLog("sales", out_).error, 0);
    Recorder refused;
    EXPECT_EQ(server_->dumpTransaction("sales", dev("t1.tr"), refused).error,
              errors::kTruncatedChain);
    EXPECT_FALSE(fs::exists(dev("t1.tr")));

    // The full pass of the procedure: truncate_only, then the database dump; transactions follow.
    ASSERT_EQ(server_->truncateLog("sales", out_).error, 0);
    ASSERT_EQ(server_->dumpDatabase("sales", dev("full2.db"), out_).error, 0);
    main_->change("INSERT INTO t VALUES (4, 'four')");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t2.tr"), out_).error, 0);
    ASSERT_EQ(server_->loadDatabase("reserve", dev("full2.db"), out_).error, 0);
    ASSERT_EQ(server_->loadTransaction("reserve", dev("t2.tr"), out_).error, 0);
    EXPECT_EQ(reserve_->rows("SELECT id FROM t ORDER BY id"), "1;2;3;4;");
}

TEST_F(BackupServerTest, ChangesBetweenDatabaseDumpAndTransactionDumpAreAppliedOnce) {
    // A database dump does not move the log base: the next transaction dump repeats entries the
    // database dump already holds, and the load skips them.
    main_->change("INSERT INTO t VALUES (3, 'three')");
    ASSERT_EQ(server_->dumpDatabase("sales", dev("full.db"), out_).error, 0);
    main_->change("INSERT INTO t VALUES (4, 'four')");
    ASSERT_EQ(server_->dumpTransaction("sales", dev("t1.tr"), out_).error, 0);
    ASSERT_EQ(server_->loadDatabase("reserve", dev("full.db"), out_).error, 0);
    ASSERT_EQ(server_->loadTransaction("reserve", dev("t1.tr"), out_).error, 0);
    EXPECT_EQ(reserve_->rows("SELECT id FROM t ORDER BY id"), "1;2;3;4;");
}

TEST_F(BackupServerTest, RefusalsLeaveTheTargetAsItWas) {
    reserve_->change("CREATE TABLE keep (x INTEGER)");
    reserve_->change("INSERT INTO keep VALUES (42)");
    ASSERT_EQ(server_->dumpDatabase("sales", dev("full.db"), out_).error, 0);
    const auto size = fs::file_size(dev("full.db"));

    fs::copy_file(dev("full.db"), dev("cut.db"));
    fs::resize_file(dev("cut.db"), size / 2);
    fs::copy_file(dev("full.db"), dev("bad.db"));
    {
        std::fstream f(dev("bad.db"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(size - 100));
        f.put('\x7f');
    }
    for (const char* name : {"cut.db", "bad.db", "missing.db"}) {
        Recorder r;
        EXPECT_EQ(server_->loadDatabase("reserve", dev(name), r).error, errors::kBackupServerError)
            << name;
        EXPECT_TRUE(r.has(errors::kBackupServerError));
        bool bsError = false;
        for (const auto& m : r.messages)
            bsError |= m.severity == 2 && m.text.rfind("Backup Server: ", 0) == 0;
        EXPECT_TRUE(bsError) << name;
        EXPECT_FALSE(host_->isLoading("reserve")) << name;
        EXPECT_EQ(reserve_->rows("SELECT x FROM keep"), "42;") << name;
    }

    Recorder master;
    EXPECT_EQ(server_->loadDatabase("master", dev("full.db"), master).error, errors::kMasterLoad);

    host_->inUse = "reserve";
    Recorder inUse;
    EXPECT_EQ(server_->loadDatabase("reserve", dev("full.db"), inUse).error,
              errors::kDatabaseInUse);
    EXPECT_EQ(inUse.messages.size(), 1u);
    EXPECT_EQ(inUse.messages[0].severity, 16);
    host_->inUse.clear();

    server_->stop();
    Recorder stopped;
    EXPECT_EQ(server_->dumpDatabase("sales", dev("x.db"), stopped).error, errors::kNoBackupServer);
    EXPECT_EQ(server_->loadDatabase("reserve", dev("full.db"), stopped).error,
              errors::kNoBackupServer);
    EXPECT_FALSE(fs::exists(dev("x.db")));
    EXPECT_TRUE(server_->start());
    EXPECT_FALSE(server_->start());

    Recorder noFolder;
    EXPECT_EQ(server_->dumpDatabase("sales", dev("nowhere/x.db"), noFolder).error,
              errors::kBackupServerError);
    EXPECT_TRUE(noFolder.saysSomething("No such file or directory"));
    EXPECT_EQ(server_->dumpDatabase("nosuchdb", dev("y.db"), noFolder).error,
              errors::kUnknownDatabase);
    EXPECT_EQ(reserve_->rows("SELECT x FROM keep"), "42;");
}

TEST_F(BackupServerTest, DatabaseDumpIsConsistentWhileOthersWrite) {
    main_->change("CREATE TABLE c (n INTEGER)");
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        Db w(dir_ / "sales.db");
        for (int i = 0; !stop; ++i) w.change("INSERT INTO c VALUES (" + std::to_string(i) + ")");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int round = 0; round < 3; ++round) {
        const std::string name = "full" + std::to_string(round) + ".db";
        ASSERT_EQ(server_->dumpDatabase("sales", dev(name), out_).error, 0);
        ASSERT_EQ(server_->loadDatabase("reserve", dev(name), out_).error, 0);
        // Every row of c came with one log entry in the same transaction: the rows loaded must
        // match the log position the dump recorded, whatever the writer did meanwhile.
        DumpHeader h;
        int err = 0;
        ASSERT_EQ(verifyDumpFile(dev(name), &h, err), DumpProblem::None);
        EXPECT_EQ(reserve_->rows("SELECT count(*) FROM c"),
                  std::to_string(h.lastSequence - 3) + ";");
    }
    stop = true;
    writer.join();
}

TEST_F(BackupServerTest, InjectedFaultsFireOnce) {
    std::string why;
    ASSERT_TRUE(faults_.arm("drop", why));
    BackupResult r = server_->dumpDatabase("sales", dev("dropped.db"), out_);
    EXPECT_TRUE(r.dropConnection);
    int err = 0;
    EXPECT_EQ(verifyDumpFile(dev("dropped.db"), nullptr, err), DumpProblem::Incomplete);
    Recorder refused;
    EXPECT_EQ(server_->loadDatabase("reserve", dev("dropped.db"), refused).error,
              errors::kBackupServerError);
    EXPECT_TRUE(refused.saysSomething("never completed"));

    ASSERT_TRUE(faults_.arm("error 4305", why));
    Recorder failed;
    EXPECT_EQ(server_->dumpDatabase("sales", dev("failed.db"), failed).error, 4305);
    EXPECT_TRUE(failed.has(4305));
    EXPECT_EQ(server_->dumpDatabase("sales", dev("good.db"), out_).error, 0);

    ASSERT_TRUE(faults_.arm("error:20001", why));
    EXPECT_EQ(server_->loadDatabase("reserve", dev("good.db"), out_).error, 20001);
    EXPECT_FALSE(host_->isLoading("reserve"));

    ASSERT_TRUE(faults_.arm("stall 3", why));
    EXPECT_EQ(faults_.takeStallSeconds(), 3);
    EXPECT_EQ(faults_.takeStallSeconds(), 0);
    EXPECT_FALSE(faults_.arm("explode", why));
    EXPECT_FALSE(faults_.arm("stall 0", why));
    EXPECT_FALSE(faults_.arm("error x", why));
}

TEST_F(BackupServerTest, ADatabaseFileReplacedUnderItsNameIsReadAnew) {
    ASSERT_EQ(server_->dumpDatabase("sales", dev("old.db"), out_).error, 0);
    ASSERT_EQ(server_->dumpTransaction("sales", dev("old.tr"), out_).error, 0);
    main_.reset();
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(dir_ / ("sales.db" + std::string(suffix)));
    main_ = std::make_unique<Db>(dir_ / "sales.db");
    main_->change("CREATE TABLE fresh (id INTEGER)");
    ASSERT_EQ(server_->dumpDatabase("sales", dev("new.db"), out_).error, 0);
    ASSERT_EQ(server_->dumpTransaction("sales", dev("new.tr"), out_).error, 0);

    DumpProblem problem = DumpProblem::None;
    int err = 0;
    const auto incarnation = [&](const std::string& dump) {
        auto reader = DumpReader::open(dev(dump), problem, err);
        return reader ? reader->header().incarnation : describe(problem);
    };
    EXPECT_NE(incarnation("old.tr"), incarnation("new.tr"));
    // The connection to the file that went is closed without taking the new file's log along.
    EXPECT_TRUE(fs::exists(dir_ / "sales.db-wal"));
    EXPECT_EQ(Db(dir_ / "sales.db").rows("SELECT count(*) FROM fresh"), "0;");
}

TEST_F(BackupServerTest, IoRateSlowsTheDumpDown) {
    main_->change("CREATE TABLE big (b BLOB)");
    main_->change("INSERT INTO big VALUES (zeroblob(3 * 1024 * 1024))");
    BackupServerOptions slow;
    slow.ioRateMBps = 4;
    makeServer(slow);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(server_->dumpDatabase("sales", dev("slow.db"), out_).error, 0);
    // Only a lower bound: a loaded machine may take longer, never shorter.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
    EXPECT_TRUE(out_.saysSomething("(50%) DUMPED."));
}

}  // namespace
