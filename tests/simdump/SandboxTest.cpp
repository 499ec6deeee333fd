// The sandbox command: a SYBASE tree naming both servers and their Backup Servers, and data
// folders with which the two servers start, the main one with sample rows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"
#include "tests/support/TempFolder.h"

using namespace tvr::testing;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Sandbox, WritesASybaseTreeAndDataFoldersBothServersStartFrom) {
    // The sandbox command makes the folder itself and refuses one that exists.
    const tvr::testing::TempFolder scratch("tvr-sandbox");
    const fs::path dir = scratch / "sandbox";
    const std::string bin = std::getenv("TVR_BIN_DIR");
    const std::string aseemu = bin + "/aseemu";
    // Run as a user runs it, found on the PATH from another folder: the commands it prints
    // name the program itself.
    const std::string command = "cd " + scratch.string() + " && PATH=" + bin +
                                ":\"$PATH\" aseemu sandbox " + dir.string() + " --port 41000 > " +
                                (dir.string() + ".out");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string printed = readFile(dir.string() + ".out");
    EXPECT_NE(printed.find(fs::canonical(aseemu).string() + " --name MAIN --port 41000 --data " +
                           (dir / "main").string()),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("--name RESERVE --port 41002 --data " + (dir / "reserve").string()),
              std::string::npos);
    EXPECT_NE(printed.find("export SYBASE=" + (dir / "sybase").string()), std::string::npos);

    const std::string sqlIni = readFile(dir / "sybase" / "ini" / "sql.ini");
    for (const char* section : {"[MAIN]\r\n", "[MAIN_BS]\r\n", "[RESERVE]\r\n", "[RESERVE_BS]\r\n"})
        EXPECT_NE(sqlIni.find(section), std::string::npos) << section;
    EXPECT_NE(sqlIni.find("query=NLWNSCK,127.0.0.1,41000\r\n"), std::string::npos);
    const std::string interfaces = readFile(dir / "sybase" / "interfaces");
    EXPECT_EQ(interfaces.rfind("MAIN\n\tmaster tcp ether 127.0.0.1 41000\n", 0), 0u) << interfaces;
    EXPECT_NE(readFile(dir / "sybase" / "freetds.conf").find("tds version = 5.0"),
              std::string::npos);

    // A second sandbox into the same folder is refused rather than mixed with the first.
    EXPECT_NE(std::system((aseemu + " sandbox " + dir.string() + " > /dev/null 2>&1").c_str()), 0);

    {
        EmulatorOptions options;
        options.name = "SBMAIN";
        options.dataDir = (dir / "main").string();
        Emulator main(options);
        CtClient client;
        ASSERT_TRUE(client.connect("SBMAIN"));
        EXPECT_EQ(rowsText(client, "select count(*) from sales..customers"), "3|\n");
        EXPECT_EQ(rowsText(client, "select count(*) from sales..orders"), "4|\n");
    }
    {
        EmulatorOptions options;
        options.name = "SBRES";
        options.dataDir = (dir / "reserve").string();
        Emulator reserve(options);
        CtClient client;
        ASSERT_TRUE(client.connect("SBRES"));
        EXPECT_FALSE(client.execute("use sales_copy").failed());
    }
}

}  // namespace
