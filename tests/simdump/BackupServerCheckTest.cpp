// What the program's Backup Server check asks of a server: sp_helpserver with SYB_BACKUP and its
// network name, sp_configure 'xp_cmdshell context', and net start of the Backup Server's
// service through xp_cmdshell, with a Backup Server that was stopped.
#include <gtest/gtest.h>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

TEST(BackupServerCheck, StoppedBackupServerFailsDumpsUntilNetStartStartsIt) {
    EmulatorOptions options;
    options.name = "BSMAIN";
    options.databases = {"sales"};
    options.extraArgs = {"--backup-server", "stopped", "--xp-cmdshell-context", "0"};
    Emulator server(options);
    DumpFolder dumps;
    CtClient client;
    ASSERT_TRUE(client.connect("BSMAIN"));
    ASSERT_TRUE(installSpTvr(client).empty());
    client.execute("use master");

    CtBatch failed = client.execute(spTvrCall(0, "sales", 1, 0, dumps.folder(), "a.db"));
    EXPECT_EQ(lastStatus(failed), -7205);
    EXPECT_TRUE(saysSomething(failed, "LOG DUMP ERROR: 7205"));
    EXPECT_TRUE(saysSomething(failed, "Can't open a connection to site 'SYB_BACKUP'"));
    EXPECT_FALSE(std::filesystem::exists(dumps.file("a.db")));
    EXPECT_EQ(lastStatus(client.execute(spTvrCall(0, "sales", 0, 1, dumps.folder(), "a.db"))),
              -7205);

    const auto servers = client.execute("sp_helpserver").rowResults();
    ASSERT_EQ(servers.size(), 1u);
    ASSERT_GE(servers[0].columns.size(), 2u);
    std::optional<std::string> network;
    for (const auto& row : servers[0].rows)
        if (row.at(0) == "SYB_BACKUP") network = row.at(1);
    ASSERT_EQ(network, "BSMAIN_BS");

    const auto config = client.execute("sp_configure 'xp_cmdshell context'").rowResults();
    ASSERT_EQ(config.size(), 1u);
    std::size_t runValue = config[0].columns.size();
    for (std::size_t c = 0; c < config[0].columns.size(); ++c)
        if (config[0].columns[c].name == "Run Value") runValue = c;
    ASSERT_LT(runValue, config[0].columns.size());
    EXPECT_EQ(config[0].rows.at(0).at(runValue), "0");

    // The check's exact command text.
    CtBatch started =
        client.execute("xp_cmdshell 'net start \"Sybase BCKServer _ " + *network + "\"'");
    EXPECT_EQ(lastStatus(started), 0);
    ASSERT_EQ(started.rowResults().size(), 1u);
    EXPECT_EQ(started.rowResults()[0].rows.at(1).at(0),
              "The Sybase BCKServer _ BSMAIN_BS service was started successfully.");
    CtBatch again = client.execute("xp_cmdshell 'net start \"Sybase BCKServer _ BSMAIN_BS\"'");
    EXPECT_EQ(lastStatus(again), 1);
    EXPECT_EQ(again.rowResults().at(0).rows.at(0).at(0),
              "The requested service has already been started.");
    EXPECT_EQ(client.execute("xp_cmdshell 'net start \"Sybase BCKServer _ OTHER_BS\"'")
                  .rowResults()
                  .at(0)
                  .rows.at(0)
                  .at(0),
              "The service name is invalid.");
    // A command the emulator does not run: no error, status 1 and an output row saying so.
    CtBatch other = client.execute("xp_cmdshell 'dir c:\\'");
    EXPECT_FALSE(other.failed());
    EXPECT_EQ(lastStatus(other), 1);
    EXPECT_NE(other.rowResults().at(0).rows.at(0).at(0)->find("was not run"), std::string::npos);

    EXPECT_EQ(lastStatus(client.execute(spTvrCall(0, "sales", 1, 0, dumps.folder(), "a.db"))), 1);
}

TEST(BackupServerCheck, NetworkNameAndEntryFollowTheCommandLine) {
    EmulatorOptions named;
    named.name = "BSNAMED";
    named.extraArgs = {"--backup-name", "SRV1_BS"};
    Emulator server(named);
    CtClient client;
    ASSERT_TRUE(client.connect("BSNAMED"));
    const std::string rows = rowsText(client, "sp_helpserver");
    EXPECT_NE(rows.find("SYB_BACKUP|SRV1_BS|"), std::string::npos) << rows;
    EXPECT_NE(rows.find("BSNAMED|BSNAMED|"), std::string::npos) << rows;
    const auto config = client.execute("sp_configure 'xp_cmdshell context'").rowResults();
    EXPECT_EQ(config.at(0).rows.at(0).at(4), "1");  // the default

    EmulatorOptions none;
    none.name = "BSNONE";
    none.extraArgs = {"--no-backup-entry"};
    Emulator bare(none);
    CtClient other;
    ASSERT_TRUE(other.connect("BSNONE"));
    EXPECT_EQ(rowsText(other, "sp_helpserver").find("SYB_BACKUP"), std::string::npos);
}

}  // namespace
