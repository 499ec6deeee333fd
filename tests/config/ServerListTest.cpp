#include "config/ServerList.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using tvr::config::interfacesServers;
using tvr::config::readServerList;
using tvr::config::ServerListError;
using tvr::config::sqlIniServers;
using Servers = std::vector<std::string>;

namespace {

TEST(SqlIni, ListsTheSectionNamesInFileOrderAndSkipsDoubleSemicolonComments) {
    const std::string ini =
        ";; Open Client servers\r\n[MAIN]\r\nmaster=TCP,main,5000\r\nquery=TCP,main,5000\r\n"
        "  ;; [COMMENTED]\r\n[MAIN_BS]\r\nmaster=TCP,main,5001\r\n\r\n[RESERVE]\r\n[MAIN]\r\n";
    EXPECT_EQ(sqlIniServers(ini), (Servers{"MAIN", "MAIN_BS", "RESERVE", "MAIN"}));
}

TEST(SqlIni, LinesWithABracketAnywhereLoseTheirFirstAndLastCharacter) {
    struct Case {
        const char* text;
        Servers servers;
    };
    const Case cases[] = {
        {"[MAIN] \n", {"MAIN]"}},  // a blank after the bracket stays in the name
        {";[OLD]\n", {"[OLD"}},    // a single semicolon is no comment
        {"\t[TAB]\n", {"[TAB"}},   // the line is cut as written, not trimmed
        {"x=[y]\n", {"=[y"}},      // any bracket makes an entry
        {"[\n", {""}},             // too short to cut: an empty entry
        {"a[\n", {""}},
        {"[LAST]", {"LAST"}},  // no line end after the last line
        {"[CR]\r[LF]\n[CRLF]\r\n", {"CR", "LF", "CRLF"}},
        {"; ;[X]\n", {" ;[X"}},  // ";;" must open the trimmed line
        {"plain\n]\n", {}},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(sqlIniServers(c.text), c.servers) << c.text;
}

TEST(Interfaces, NamesTheFirstWordOfEveryLineStartingAtColumnZero) {
    const std::string interfaces =
        "# comment\nMAIN 5 3\n\tmaster tcp ether 127.0.0.1 5000\n\tquery tcp ether 127.0.0.1 "
        "5000\n\nRESERVE\r\n  query tcp ether x 1\n#OLD\nLAST\tretry";
    EXPECT_EQ(interfacesServers(interfaces), (Servers{"MAIN", "RESERVE", "LAST"}));
}

class ServerListFile : public ::testing::Test {
protected:
    void write(const std::string& name, const std::string& text) {
        std::filesystem::create_directories((dir.path() / name).parent_path());
        std::ofstream(dir.path() / name, std::ios::binary) << text;
    }
    tvr::testing::TempFolder dir;
};

TEST_F(ServerListFile, SqlIniWinsOverInterfaces) {
    write("ini/sql.ini", "[FROMINI]\n");
    write("interfaces", "FROMINTERFACES\n");
    EXPECT_EQ(readServerList(dir.path().string()), (Servers{"FROMINI"}));
}

TEST_F(ServerListFile, InterfacesIsReadWhenThereIsNoSqlIni) {
    write("interfaces", "FROMINTERFACES\n\tquery tcp ether h 1\n");
    EXPECT_EQ(readServerList(dir.path().string()), (Servers{"FROMINTERFACES"}));
}

TEST_F(ServerListFile, NeitherFileGivesTheCannotOpenReportNamingSqlIni) {
    const std::string ini = dir.path().string() + "/ini/sql.ini";
    try {
        readServerList(dir.path().string());
        FAIL() << "no error";
    } catch (const ServerListError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + ini + "\". No such file or directory");
    }
    // A folder where the file should be cannot be read either.
    std::filesystem::create_directories(ini);
    EXPECT_THROW(readServerList(dir.path().string()), ServerListError);
}

}  // namespace
