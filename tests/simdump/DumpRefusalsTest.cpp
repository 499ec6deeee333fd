// Dumps and loads the server refuses, and the Backup Server's messages, as a client receives
// them through libct: transaction dumps without a database dump to follow, of a log sharing its
// data's device or truncated on checkpoints; a data server without its SYB_BACKUP entry; the
// session line, the relayed progress lines and an out-of-sequence load.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

// The first message of the batch with this number; a failure when there is none.

TEST(DumpRefusals, TransactionDumpsAreRefusedWhereTheServerRefusesThem) {
    EmulatorOptions options;
    options.name = "REFUSE";
    options.databases = {"sales"};
    options.extraArgs = {"--mixed-log", "mixed"};
    Emulator server(options);
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("REFUSE"));
    auto dump = [&](const std::string& what, const std::string& file) {
        return client.execute("dump " + what + " to " + dumps.quoted(file));
    };

    // Never dumped since it was made: no transaction dump before a database dump.
    CtBatch first = dump("tran sales", "first.tr");
    const CtMessage refused = messageNumbered(first, 4221);
    EXPECT_EQ(refused.severity, 16);
    EXPECT_EQ(refused.text,
              "DUMP TRANsaction to a dump device is not allowed where a truncate-only transaction "
              "dump has been performed after the last DUMP DATABASE. Use DUMP DATABASE instead.\n");
    EXPECT_FALSE(hasMessage(first, 3216));  // refused before the Backup Server is asked
    EXPECT_FALSE(std::filesystem::exists(dumps.file("first.tr")));
    EXPECT_FALSE(dump("database sales", "full.db").failed());
    EXPECT_FALSE(dump("tran sales", "next.tr").failed());

    // Truncated without a dump: refused again until the next database dump.
    EXPECT_FALSE(client.execute("dump tran sales with truncate_only").failed());
    EXPECT_TRUE(hasMessage(dump("tran sales", "after.tr"), 4221));
    EXPECT_FALSE(dump("database sales", "again.db").failed());

    // trunc log on chkpt, set and reported by sp_dboption.
    CtBatch set = client.execute("sp_dboption sales, 'trunc log on chkpt', true");
    EXPECT_TRUE(saysSomething(set, "Database option 'trunc log on chkpt' turned ON"));
    const auto listed = client.execute("sp_helpdb sales").rowResults();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].rows.at(0).at(5), "trunc log on chkpt");
    const auto reported = client.execute("sp_dboption sales").rowResults();
    ASSERT_EQ(reported.size(), 1u);
    ASSERT_EQ(reported[0].rows.size(), 1u);
    EXPECT_EQ(reported[0].rows[0].at(0), "trunc log on chkpt");
    const CtMessage truncating = messageNumbered(dump("tran sales", "chkpt.tr"), 4208);
    EXPECT_EQ(truncating.severity, 16);
    EXPECT_FALSE(client.execute("sp_dboption sales, 'trunc', false").failed());
    EXPECT_FALSE(dump("tran sales", "chkpt.tr").failed());

    // Read only, the fence of a failover: a dump that truncates, or marks a standby point,
    // begins a transaction and is refused; one with no_truncate writes nothing and still works.
    ASSERT_FALSE(client.execute("sp_dboption sales, 'read', true").failed());
    EXPECT_EQ(messageNumbered(dump("tran sales", "fenced.tr"), 3906).severity, 16);
    EXPECT_TRUE(hasMessage(
        client.execute("dump tran sales to " + dumps.quoted("standby.tr") + " with standby_access"),
        3906));
    EXPECT_FALSE(
        client.execute("dump tran sales to " + dumps.quoted("tail.tr") + " with no_truncate")
            .failed());
    EXPECT_FALSE(client.execute("sp_dboption sales, 'read', false").failed());

    // A log on the data's device: from the command line or a create database without log on.
    ASSERT_FALSE(client.execute("create database made").failed());
    ASSERT_FALSE(
        client.execute("create database apart on datadev = 10 log on logdev = 5").failed());
    for (const char* database : {"mixed", "made", "apart"}) {
        const auto status = client.execute(std::string("sp_helpdb ") + database).rowResults();
        ASSERT_EQ(status.size(), 1u);
        EXPECT_EQ(status[0].rows.at(0).at(5),
                  std::string(database) == "apart" ? "no options set" : "mixed log and data")
            << database;
        ASSERT_FALSE(
            dump(std::string("database ") + database, std::string(database) + ".db").failed());
        CtBatch log = dump(std::string("tran ") + database, std::string(database) + ".tr");
        EXPECT_EQ(hasMessage(log, 4205), std::string(database) != "apart") << database;
    }
    EXPECT_FALSE(client.execute("dump tran mixed with truncate_only").failed());
}

TEST(DumpRefusals, ASelectIntoGoesUnloggedAndStopsTransactionDumpsUntilADatabaseDump) {
    Emulator server("UNLOGGED", {"sales", "copy"});
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("UNLOGGED"));
    auto run = [&](const std::string& statement, const std::string& file) {
        return client.execute(statement + " " + dumps.quoted(file));
    };
    ASSERT_FALSE(client.execute("use sales").failed());
    ASSERT_FALSE(client.execute("create table t (i int, name varchar(10))").failed());
    ASSERT_FALSE(client.execute("insert t values (1, 'one') insert t values (2, 'two')").failed());
    ASSERT_FALSE(run("dump database sales to", "full.db").failed());
    ASSERT_FALSE(run("load database copy from", "full.db").failed());  // a sequence begun before

    // Refused without the database option, and inside a transaction; a #table needs neither.
    const CtMessage option = messageNumbered(client.execute("select * into t2 from t"), 268);
    EXPECT_EQ(option.severity, 16);
    EXPECT_EQ(option.text,
              "You can't run SELECT INTO in this database. Please check with the Database "
              "Owner.\n");
    EXPECT_TRUE(hasMessage(client.execute("select * from t2"), 208));
    EXPECT_FALSE(client.execute("select i into #kept from t").failed());
    EXPECT_EQ(rowsText(client, "select count(*) from #kept"), "2|\n");
    EXPECT_FALSE(client.execute("select name into #objects from sysobjects").failed());
    EXPECT_EQ(rowsText(client, "select count(*) from #objects where name = 't'"), "1|\n");
    ASSERT_FALSE(client.execute("sp_dboption sales, 'select into', true").failed());
    EXPECT_EQ(client.execute("sp_helpdb sales").rowResults().at(0).rows.at(0).at(5),
              "select into/bulkcopy/pllsort");
    CtBatch inTran = client.execute("begin tran select * into t2 from t");
    EXPECT_EQ(messageNumbered(inTran, 226).text,
              "SELECT INTO command not allowed within multi-statement transaction.\n");
    ASSERT_FALSE(client.execute("rollback").failed());

    CtBatch made = client.execute("select * into t2 from t");
    ASSERT_FALSE(made.failed());
    EXPECT_EQ(made.events.back().rowCount, 2);
    EXPECT_EQ(rowsText(client, "select i, name from t2 order by i"), "1|one|\n2|two|\n");

    CtBatch refused = run("dump tran sales to", "refused.tr");
    const CtMessage unlogged = messageNumbered(refused, 4207);
    EXPECT_EQ(unlogged.severity, 16);
    EXPECT_EQ(unlogged.state, 2);
    EXPECT_EQ(unlogged.text,
              "Dump transaction is not allowed because a non-logged operation was performed on "
              "the database. Dump your database or use dump transaction with truncate_only "
              "until you can dump your database.\n");
    EXPECT_FALSE(hasMessage(refused, 3216));
    EXPECT_FALSE(std::filesystem::exists(dumps.file("refused.tr")));

    // A database dump lets transaction dumps go on from it; the sequence begun before the
    // select into cannot take them, the one begun after it can.
    ASSERT_FALSE(client.execute("insert t2 values (3, 'three')").failed());
    ASSERT_FALSE(run("dump database sales to", "after.db").failed());
    ASSERT_FALSE(client.execute("insert t2 values (4, 'four')").failed());
    ASSERT_FALSE(run("dump tran sales to", "after.tr").failed());
    EXPECT_TRUE(hasMessage(run("load tran copy from", "after.tr"), 4305));
    ASSERT_FALSE(run("load database copy from", "after.db").failed());
    ASSERT_FALSE(run("load tran copy from", "after.tr").failed());
    ASSERT_FALSE(client.execute("online database copy").failed());
    EXPECT_EQ(rowsText(client, "select i from copy..t2 order by i"), "1|\n2|\n3|\n4|\n");

    // with truncate_only stays allowed after an unlogged change.
    ASSERT_FALSE(client.execute("select * into t3 from t").failed());
    EXPECT_FALSE(client.execute("dump tran sales with truncate_only").failed());
}

TEST(DumpRefusals, ACancelledSelectIntoLeavesNeitherTableNorMark) {
    Emulator server("CANCELINTO", {"sales"});
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("CANCELINTO"));
    ASSERT_FALSE(client
                     .execute("use sales create table ten (d int) insert ten values (1) "
                              "insert ten select d + 1 from ten insert ten select d + 2 from ten "
                              "insert ten select d + 4 from ten insert ten select d + 8 from ten")
                     .failed());
    ASSERT_FALSE(client.execute("sp_dboption sales, 'select into', true").failed());
    ASSERT_FALSE(client.execute("dump database sales to " + dumps.quoted("full.db")).failed());
    // 16^9 rows: far more than any test run lasts.
    ASSERT_TRUE(client.send(
        "select a.d into huge from ten a, ten b, ten c, ten d, ten e, ten f, ten g, ten h, ten i"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(client.cancelAll());
    EXPECT_TRUE(hasMessage(client.execute("select count(*) from huge"), 208));
    EXPECT_FALSE(client.execute("dump tran sales to " + dumps.quoted("log.tr")).failed());
}

TEST(DumpRefusals, BackupServerMessagesArriveAsTheServerRelaysThem) {
    EmulatorOptions options;
    options.name = "RELAY";
    options.databases = {"sales", "copy"};
    options.extraArgs = {"--backup-name", "RELAY_BS"};
    Emulator server(options);
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("RELAY"));
    auto run = [&](const std::string& statement, const std::string& file) {
        return client.execute(statement + " " + dumps.quoted(file));
    };

    ASSERT_FALSE(client.execute("use sales").failed());
    ASSERT_FALSE(client.execute("create table t (i int)").failed());
    CtBatch full = run("dump database sales to", "full.db");
    const CtMessage session = messageNumbered(full, 3216);
    EXPECT_EQ(session.severity, 10);
    EXPECT_EQ(session.server, "RELAY");
    EXPECT_EQ(session.text.rfind("Backup Server session id is:  ", 0), 0u) << session.text;
    // Each relayed line: numbered after its major.minor.severity.state code, with that severity
    // and state, under the Backup Server's name, at line 0; an open failure names its routine.
    CtBatch unwritable = run("dump database sales to", "missing/folder/x.db");
    int relayed = 0;
    for (const CtBatch* batch : {&full, &unwritable})
        for (const CtMessage& m : batch->messages()) {
            int major = 0, minor = 0, severity = 0, state = 0;
            if (std::sscanf(m.text.c_str(), "Backup Server: %d.%d.%d.%d: ", &major, &minor,
                            &severity, &state) != 4)
                continue;
            ++relayed;
            EXPECT_EQ(m.number, major * 100000 + minor * 100 + severity) << m.text;
            EXPECT_EQ(m.severity, severity) << m.text;
            EXPECT_EQ(m.state, state) << m.text;
            EXPECT_EQ(m.server, "RELAY_BS") << m.text;
            EXPECT_EQ(m.line, 0) << m.text;
            if (major == 4 && minor == 141) {
                EXPECT_EQ(m.procedure, "bs_write_header") << m.text;
            }
        }
    EXPECT_GE(relayed, 4);
    EXPECT_TRUE(hasMessage(unwritable, 414102));
    EXPECT_EQ(messageNumbered(unwritable, 8009).server, "RELAY");

    // A transaction dump loaded out of its turn.
    ASSERT_FALSE(run("load database copy from", "full.db").failed());
    ASSERT_FALSE(client.execute("insert t values (1)").failed());  // the log grows
    ASSERT_FALSE(run("dump tran sales to", "one.tr").failed());
    ASSERT_FALSE(client.execute("insert t values (2)").failed());
    ASSERT_FALSE(run("dump tran sales to", "two.tr").failed());
    const CtMessage sequence = messageNumbered(run("load tran copy from", "two.tr"), 4305);
    EXPECT_EQ(sequence.severity, 16);
    const std::regex text(
        "Specified file '.*two\\.tr' is out of sequence\\. Current time stamp is "
        "[A-Z][a-z]{2} [ 0-9]\\d \\d{4} [ 0-9]\\d:\\d{2}:\\d{2}:\\d{3}[AP]M while dump was from "
        "[A-Z][a-z]{2} [ 0-9]\\d \\d{4} [ 0-9]\\d:\\d{2}:\\d{2}:\\d{3}[AP]M\\.\n");
    EXPECT_TRUE(std::regex_match(sequence.text, text)) << sequence.text;
}

TEST(DumpRefusals, AnUnreachableBackupServerFailsDumpsAndLoadsWith7205Alone) {
    // Without its sysservers entry, or stopped: the data server cannot reach it, so there is no
    // session line and no file, only 7205 at severity 18.
    const std::vector<std::string> cases[] = {{"--no-backup-entry"},
                                              {"--backup-server", "stopped"}};
    for (const auto& extraArgs : cases) {
        EmulatorOptions options;
        options.name = "NOBS";
        options.databases = {"sales"};
        options.extraArgs = extraArgs;
        Emulator server(options);
        DumpFolder dumps;
        CtClient client;
        ASSERT_TRUE(client.connect("NOBS"));
        for (const std::string statement : {"dump database sales to", "load database sales from"}) {
            CtBatch refused = client.execute(statement + " " + dumps.quoted("x.db"));
            ASSERT_EQ(refused.messages().size(), 1u) << extraArgs[0] << ": " << statement;
            const CtMessage m = refused.messages()[0];
            EXPECT_EQ(m.number, 7205) << statement;
            EXPECT_EQ(m.severity, 18) << statement;
            EXPECT_EQ(m.state, 2) << statement;
            EXPECT_EQ(m.text,
                      "Can't open a connection to site 'SYB_BACKUP'. See the error log file in "
                      "the ASE boot directory.\n");
        }
        EXPECT_FALSE(std::filesystem::exists(dumps.file("x.db"))) << extraArgs[0];
    }
}

TEST(DumpRefusals, ADumpOntoAFileTheServerKeepsADatabaseInIsRefusedAndTheDatabaseStays) {
    EmulatorOptions options;
    options.name = "OWNFILE";
    options.databases = {"sales"};
    Emulator server(options);
    CtClient client;
    ASSERT_TRUE(client.connect("OWNFILE"));
    ASSERT_FALSE(client.execute("create table sales..kept (n int)").failed());
    ASSERT_FALSE(client.execute("insert sales..kept values (7)").failed());
    DumpFolder dumps;  // a database dump first, so that a transaction dump goes ahead
    ASSERT_FALSE(client.execute("dump database sales to " + dumps.quoted("full.db")).failed());
    const std::string data = server.dataDir();
    const std::string cases[][2] = {{"database sales", data + "/sales.db"},
                                    {"database sales", data + "/./master.db"},
                                    {"tran sales", data + "/sales.db"},
                                    {"database sales", data + "/master.db-wal"}};
    for (const auto& [what, file] : cases) {
        CtBatch refused = client.execute("dump " + what + " to \"" + file + "\"");
        EXPECT_TRUE(refused.failed()) << what << " to " << file;
        EXPECT_TRUE(saysSomething(refused, "The 'open' call failed")) << what << " to " << file;
    }
    const auto kept = client.execute("select n from sales..kept").rowResults();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].rows.at(0).at(0), "7");
    EXPECT_FALSE(client.execute("select count(*) from master..sysdatabases").failed());
}

}  // namespace
