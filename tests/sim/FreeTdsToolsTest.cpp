// FreeTDS's own command line client, which nobody here wrote, against the emulator: it logs
// on, lists the databases, and shows the 4002 refusal for a wrong password.
#include "tests/support/Emulator.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using tvr::testing::Emulator;

namespace {

bool haveFisql() { return std::system("command -v fisql >/dev/null 2>&1") == 0; }

// Runs fisql with `input` on its standard input; returns everything it printed.
std::string runFisql(const std::string& server, const std::string& password,
                     const std::string& input) {
    const tvr::test::TempFolder scratch("tvr-fisql");
    const std::string folder = scratch.string();
    std::string inputPath = folder + "/in.sql", outputPath = folder + "/out.txt";
    std::ofstream(inputPath) << input;
    std::string command = "timeout 60 fisql -S " + server + " -U sa -P '" + password + "' < " +
                          inputPath + " > " + outputPath + " 2>&1";
    int status = std::system(command.c_str());
    (void)status;
    std::ifstream in(outputPath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(FreeTdsTools, FisqlListsTheDatabasesAndSeesTheLoginRefusal) {
    if (!haveFisql()) GTEST_SKIP() << "fisql (Debian package freetds-bin) is not installed";
    Emulator server("FISQL", {"pubs2", "reserve_db"});

    std::string listing =
        runFisql("FISQL", "", "select name from master..sysdatabases order by name\ngo\n");
    for (const char* name :
         {"master", "model", "pubs2", "reserve_db", "sybsystemdb", "sybsystemprocs", "tempdb"})
        EXPECT_NE(listing.find(name), std::string::npos) << name << " missing in:\n" << listing;
    EXPECT_NE(listing.find("(7 rows affected)"), std::string::npos) << listing;
    EXPECT_LT(listing.find("master"), listing.find("tempdb"));

    std::string refused = runFisql("FISQL", "wrong", "select 1\ngo\n");
    EXPECT_NE(refused.find("4002"), std::string::npos) << refused;
    EXPECT_NE(refused.find("Login failed."), std::string::npos) << refused;

    std::string printed = runFisql("FISQL", "", "print 'hello from %1!', @@servername\ngo\n");
    EXPECT_NE(printed.find("hello from FISQL"), std::string::npos) << printed;
}
