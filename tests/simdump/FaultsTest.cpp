// Faults a test injects while the emulator runs, by the statement only the emulator knows and
// from the command line, and a server killed in the middle of a dump or a load.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

// A server whose dumps and loads move at `mbps` megabytes a second: slow enough to be cancelled
// or killed part way.
EmulatorOptions paced(const std::string& name, const std::string& database, const char* mbps) {
    EmulatorOptions options;
    options.name = name;
    options.databases = {database};
    options.extraArgs = {"--io-rate", mbps};
    return options;
}

TEST(Faults, DropFailAndStallFireOnceEach) {
    Emulator main("FTMAIN", {"sales"});
    Emulator reserve("FTRES", {"sales_copy"});
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("FTMAIN"));
    ASSERT_TRUE(installSpTvr(client).empty());
    client.execute("use master");

    CtBatch armed = client.execute("emulator fault disconnect");
    EXPECT_FALSE(armed.failed());
    CtBatch dropped = client.execute(spTvrCall(0, "sales", 1, 0, dumps.folder(), "dropped.db"));
    EXPECT_TRUE(dropped.failed() || !client.clientMessages.empty());
    EXPECT_FALSE(client.clientMessages.empty());
    EXPECT_TRUE(std::filesystem::exists(dumps.file("dropped.db")));

    CtClient second;
    ASSERT_TRUE(second.connect("FTMAIN"));
    second.execute("use master");
    EXPECT_EQ(lastStatus(second.execute(spTvrCall(0, "sales", 1, 0, dumps.folder(), "good.db"))),
              1);
    ASSERT_FALSE(second.execute("emulator fault error 4305").failed());
    CtBatch failed = second.execute(spTvrCall(0, "sales", 1, 0, dumps.folder(), "failed.db"));
    EXPECT_EQ(lastStatus(failed), -4305);
    EXPECT_TRUE(saysSomething(failed, "LOG DUMP ERROR: 4305"));
    EXPECT_EQ(lastStatus(second.execute(spTvrCall(0, "sales", 1, 0, dumps.folder(), "good2.db"))),
              1);

    CtBatch bad = second.execute("emulator fault explode");
    EXPECT_TRUE(hasMessage(bad, 20002));

    ASSERT_FALSE(second.execute("emulator fault stall 2").failed());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(second.execute("select 1").failed());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));

    // The file the dropped dump left is refused by a load.
    CtClient loader;
    ASSERT_TRUE(loader.connect("FTRES"));
    ASSERT_TRUE(installSpTvr(loader).empty());
    loader.execute("use master");
    CtBatch refused =
        loader.execute(spTvrCall(0, "sales_copy", 0, 1, dumps.folder(), "dropped.db"));
    EXPECT_EQ(lastStatus(refused), -8009);
    EXPECT_TRUE(saysSomething(refused, "never completed"));
    EXPECT_EQ(
        lastStatus(loader.execute(spTvrCall(0, "sales_copy", 0, 1, dumps.folder(), "good.db"))), 1);
}

TEST(Faults, CommandLineFaultFailsTheFirstDump) {
    EmulatorOptions options;
    options.name = "FTCMD";
    options.databases = {"sales"};
    options.extraArgs = {"--fault", "error:8009"};
    Emulator main(options);
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("FTCMD"));
    CtBatch failed = client.execute("dump database sales to " + dumps.quoted("a.db"));
    EXPECT_TRUE(failed.failed());
    EXPECT_TRUE(hasMessage(failed, 8009));
    EXPECT_FALSE(client.execute("dump database sales to " + dumps.quoted("b.db")).failed());
}

TEST(Faults, ACancelStopsALongDumpAndTheConnectionGoesOn) {
    // A couple of KB a second: the dump lasts long.
    Emulator main(paced("FTCANCEL", "sales", "0.002"));
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("FTCANCEL"));
    ASSERT_TRUE(client.send("dump database sales to " + dumps.quoted("slow.db")));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(dumps.file("slow.db")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(client.cancelAll());
    EXPECT_EQ(rowsText(client, "select 'again'"), "again|\n");
    CtBatch refused = client.execute("load database sales from " + dumps.quoted("slow.db"));
    EXPECT_TRUE(saysSomething(refused, "never completed"));
}

TEST(Faults, AServerKilledMidDumpLeavesAFileThatNoLoadAccepts) {
    // About 10 KB a second: the dump takes seconds.
    Emulator main(paced("FTKILL", "sales", "0.01"));
    Emulator reserve("FTKRES", {"sales_copy"});
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("FTKILL"));
    ASSERT_TRUE(client.send("dump database sales to " + dumps.quoted("killed.db")));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(std::filesystem::exists(dumps.file("killed.db")) &&
             std::filesystem::file_size(dumps.file("killed.db")) > 8192) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    main.signal(SIGKILL);
    client.readResults();  // fails; must not hang
    ASSERT_TRUE(std::filesystem::exists(dumps.file("killed.db")));

    CtClient loader;
    ASSERT_TRUE(loader.connect("FTKRES"));
    CtBatch refused = loader.execute("load database sales_copy from " + dumps.quoted("killed.db"));
    EXPECT_TRUE(refused.failed());
    EXPECT_TRUE(hasMessage(refused, 8009));
    EXPECT_TRUE(saysSomething(refused, "never completed"));
    EXPECT_FALSE(loader.execute("use sales_copy").failed());  // still online, untouched
}

TEST(Faults, AServerKilledMidLoadComesBackWithTheDatabaseNotOnline) {
    Emulator main("FTLMAIN", {"sales"});
    // A couple of KB a second: the load lasts long.
    Emulator reserve(paced("FTLRES", "sales_copy", "0.002"));
    DumpFolder dumps;
    CtClient source;
    ASSERT_TRUE(source.connect("FTLMAIN"));
    ASSERT_FALSE(source.execute("dump database sales to " + dumps.quoted("full.db")).failed());

    CtClient loader;
    ASSERT_TRUE(loader.connect("FTLRES"));
    ASSERT_TRUE(loader.send("load database sales_copy from " + dumps.quoted("full.db")));
    CtClient watcher;
    ASSERT_TRUE(watcher.connect("FTLRES"));
    const std::string query =
        "select status, status2 from master..sysdatabases where name = "
        "\"sales_copy\"";
    // Offline from the moment the load begins, long before its dump is read (some 10 s at
    // this pace).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string during;
    while ((during = rowsText(watcher, query)) == "0|0|\n" &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(during, "288|16|\n");
    reserve.signal(SIGKILL);
    loader.readResults();  // fails; must not hang

    reserve.start();
    CtClient again;
    ASSERT_TRUE(again.connect("FTLRES"));
    // Loading (32) and suspect (256), offline (16): only a new load database brings it back.
    EXPECT_EQ(rowsText(again, query), "288|16|\n");
    EXPECT_TRUE(hasMessage(again.execute("use sales_copy"), 926));
    EXPECT_TRUE(hasMessage(again.execute("online database sales_copy"), 926));
}

}  // namespace
