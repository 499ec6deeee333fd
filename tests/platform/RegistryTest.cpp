#include "platform/Registry.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <system_error>

using namespace tvr::platform;
using tvr::testing::fileText;

namespace {

void writeFile(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

class RegistryTest : public ::testing::Test {
protected:
    tvr::testing::TempFolder dir;
    std::filesystem::path file = dir / "registry.reg";
    Registry reg{file};
};

}  // namespace

TEST_F(RegistryTest, EveryValueTypeSurvivesARoundTripThroughTheFile) {
    const std::string tricky = "a \"quoted\" C:\\path\\ and \\\\server; ümlaut Жж 😀\ttab  ";
    const std::string lines = "first line\r\nsecond\nthird";
    const std::string withNul = std::string("before\0after", 12);
    const std::string invalidUtf8 = "\xff\xfe raw \xc3 bytes \xed\xa0\x80";
    const std::vector<std::uint8_t> binary{0, 1, 0x7f, 0x80, 0xff};
    const std::vector<std::uint8_t> multi{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0, 0, 0};

    ASSERT_EQ(reg.writeText("Software\\T", "Plain", tricky), RegStatus::Ok);
    ASSERT_EQ(reg.writeText("Software\\T", "Empty", ""), RegStatus::Ok);
    ASSERT_EQ(reg.writeText("Software\\T", "Lines", lines), RegStatus::Ok);
    ASSERT_EQ(reg.writeText("Software\\T", "Nul", withNul), RegStatus::Ok);
    ASSERT_EQ(reg.writeValue("Software\\T", "Expand", RegistryValue::expandString("%SYBASE%\\ü\"")),
              RegStatus::Ok);
    ASSERT_EQ(reg.writeValue("Software\\T", "Invalid", RegistryValue::expandString(invalidUtf8)),
              RegStatus::Ok);
    ASSERT_EQ(reg.writeDWord("Software\\T", "Zero", 0), RegStatus::Ok);
    ASSERT_EQ(reg.writeDWord("Software\\T", "Max", 0xFFFFFFFFu), RegStatus::Ok);
    ASSERT_EQ(reg.writeValue("Software\\T", "Bin", RegistryValue::raw(3, binary)), RegStatus::Ok);
    ASSERT_EQ(reg.writeValue("Software\\T", "Multi", RegistryValue::raw(7, multi)), RegStatus::Ok);
    ASSERT_EQ(reg.writeDefaultText("Software\\T", "default"), RegStatus::Ok);

    // A second reader of the same file, as the next run of the program would be.
    const Registry next(file);
    RegistryValue v;
    ASSERT_EQ(next.readValue("Software\\T", "Plain", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::string(tricky));
    ASSERT_EQ(next.readValue("Software\\T", "Empty", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::string(""));
    ASSERT_EQ(next.readValue("Software\\T", "Lines", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::string(lines));
    ASSERT_EQ(next.readValue("Software\\T", "Nul", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::string(withNul));
    ASSERT_EQ(next.readValue("Software\\T", "Expand", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::expandString("%SYBASE%\\ü\""));
    ASSERT_EQ(next.readValue("Software\\T", "Invalid", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::expandString(invalidUtf8));
    std::uint32_t n = 1;
    ASSERT_EQ(next.readDWord("Software\\T", "Zero", n), RegStatus::Ok);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(next.readDWord("Software\\T", "Max", n), RegStatus::Ok);
    EXPECT_EQ(n, 0xFFFFFFFFu);
    ASSERT_EQ(next.readValue("Software\\T", "Bin", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::raw(3, binary));
    ASSERT_EQ(next.readValue("Software\\T", "Multi", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::raw(7, multi));
    std::string text;
    ASSERT_EQ(next.readDefaultText("Software\\T", text), RegStatus::Ok);
    EXPECT_EQ(text, "default");

    // The file is the REGEDIT4 text a Windows export would give.
    const std::string saved = fileText(file);
    EXPECT_EQ(saved.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n"
                          "[HKEY_CURRENT_USER\\Software\\T]\n",
                          0),
              0u)
        << saved;
    EXPECT_NE(saved.find("\"Plain\"=\"a \\\"quoted\\\" C:\\\\path\\\\ and \\\\\\\\server; ümlaut"),
              std::string::npos);
    EXPECT_NE(saved.find("\"Zero\"=dword:00000000\n"), std::string::npos);
    EXPECT_NE(saved.find("\"Max\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(saved.find("\"Bin\"=hex:00,01,7f,80,ff\n"), std::string::npos);
    EXPECT_NE(saved.find("@=\"default\"\n"), std::string::npos);
    // REG_EXPAND_SZ as the text's bytes and one terminating NUL, as REGEDIT4 writes it.
    EXPECT_NE(saved.find("\"Expand\"=hex(2):25,53,59,42,41,53,45,25,5c,c3,bc,22,00\n"),
              std::string::npos)
        << saved;
    // Texts the line format cannot hold go as hex(1), in the same form.
    EXPECT_NE(saved.find("\"Lines\"=hex(1):66,69,72,73,74,20,6c,69,6e,65,0d,0a,73,65,63,6f,6e,"
                         "64,0a,74,68,\\\n  69,72,64,00\n"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("\"Nul\"=hex(1):62,65,66,6f,72,65,00,61,66,74,65,72,00\n"),
              std::string::npos);
}

TEST_F(RegistryTest, AnExpandStringIsWrittenExactlyAsAWindowsExportHasIt) {
    ASSERT_EQ(reg.writeValue("Software\\K", "Path", RegistryValue::expandString("%SYBASE%")),
              RegStatus::Ok);
    ASSERT_EQ(reg.writeValue("Software\\K", "Empty", RegistryValue::expandString("")),
              RegStatus::Ok);
    EXPECT_EQ(fileText(file),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\K]\n"
              "\"Path\"=hex(2):25,53,59,42,41,53,45,25,00\n"
              "\"Empty\"=hex(2):00\n\n");
}

TEST_F(RegistryTest, TextsWithNulsOfTheirOwnComeBackExactly) {
    // Among them texts whose bytes with one NUL added would look like UTF-16LE.
    const std::string texts[] = {std::string("\0", 1),       std::string("ab\0", 3),
                                 std::string("a\0b\0\0", 5), std::string("\0\0", 2),
                                 std::string("x\0", 2),      std::string("\xff\0\xfe", 3)};
    int i = 0;
    for (const std::string& t : texts) {
        const std::string name = "V" + std::to_string(i++);
        ASSERT_EQ(reg.writeValue("Software\\N", name, RegistryValue::expandString(t)),
                  RegStatus::Ok);
        ASSERT_EQ(reg.writeText("Software\\N", name + "s", t), RegStatus::Ok);
    }
    const Registry next(file);
    i = 0;
    for (const std::string& t : texts) {
        SCOPED_TRACE(i);
        const std::string name = "V" + std::to_string(i++);
        RegistryValue v;
        ASSERT_EQ(next.readValue("Software\\N", name, v), RegStatus::Ok);
        EXPECT_EQ(v, RegistryValue::expandString(t));
        ASSERT_EQ(next.readValue("Software\\N", name + "s", v), RegStatus::Ok);
        EXPECT_EQ(v, RegistryValue::string(t));
        std::string text;
        ASSERT_EQ(next.readText("Software\\N", name, text), RegStatus::Ok);
        EXPECT_EQ(text, t.substr(0, t.find('\0')));
    }
}

TEST_F(RegistryTest, ReadsTextsInTheUtf16FormOfEarlierBuilds) {
    writeFile(file,
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Old]\n"
              "@=hex(2):25,00,53,00,59,00,42,00,41,00,53,00,45,00,25,00,5c,00,fc,00,00,00\n"
              "\"Cyrillic\"=hex(1):16,04,36,04,00,00\n"
              "\"Nul\"=hex(1):61,00,00,00,62,00,00,00\n"
              "\"Empty\"=hex(2):00,00\n"
              "\"Raw\"=hex(2):ff,dc,00,00\n");
    RegistryValue v;
    ASSERT_EQ(reg.readValue("Software\\Old", "", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::expandString("%SYBASE%\\ü"));
    ASSERT_EQ(reg.readValue("Software\\Old", "Cyrillic", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::string("Жж"));
    ASSERT_EQ(reg.readValue("Software\\Old", "Nul", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::string(std::string("a\0b", 3)));
    ASSERT_EQ(reg.readValue("Software\\Old", "Empty", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::expandString(""));
    ASSERT_EQ(reg.readValue("Software\\Old", "Raw", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::expandString("\xff"));
    // The next write puts them in the REGEDIT4 form.
    ASSERT_EQ(reg.writeText("Software\\Old", "New", "x"), RegStatus::Ok);
    const std::string saved = fileText(file);
    EXPECT_NE(saved.find("@=hex(2):25,53,59,42,41,53,45,25,5c,c3,bc,00\n"), std::string::npos)
        << saved;
    EXPECT_NE(saved.find("\"Cyrillic\"=\"Жж\"\n\"Nul\"=hex(1):61,00,62,00\n"), std::string::npos)
        << saved;
}

TEST_F(RegistryTest, ReadsAWindowsExportWithItsLineEndingsContinuationsAndComments) {
    writeFile(file,
              "\xEF\xBB\xBFREGEDIT4\r\n\r\n"
              "; written by hand\r\n"
              "[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase\\Reserv\\EditLogPath]\r\n"
              "@=hex(2):25,53,59,42,41,53,45,25,5c,64,6d,70,5c,\\\r\n"
              "  e4,00\r\n"
              "\"Count\" = dword:a\r\n"
              "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\r\n"
              "\"Bare\"=hex(2):41,42\r\n");
    std::string text;
    ASSERT_EQ(reg.readDefaultText("\\Software\\Kelvane\\DorniqSybase\\Reserv\\\\EditLogPath", text),
              RegStatus::Ok);
    EXPECT_EQ(text, "%SYBASE%\\dmp\\\xe4");  // not expanded; the ANSI bytes as they are
    // Data stored without its terminating NUL is the text as it stands.
    ASSERT_EQ(reg.readText("Software\\Kelvane\\DorniqSybase\\Reserv\\EditLogPath", "Bare", text),
              RegStatus::Ok);
    EXPECT_EQ(text, "AB");
    std::uint32_t n = 0;
    ASSERT_EQ(reg.readDWord("Software\\Kelvane\\DorniqSybase\\Reserv\\EditLogPath", "count", n),
              RegStatus::Ok);
    EXPECT_EQ(n, 10u);
    // Parents of a written key exist although the file does not list them.
    EXPECT_TRUE(reg.keyExists("Software\\Kelvane"));
    // A write keeps what it does not understand.
    ASSERT_EQ(reg.writeText("Software\\Other", "X", "y"), RegStatus::Ok);
    RegistryValue v;
    ASSERT_EQ(reg.readValue("Software\\Kelvane\\DorniqSybase\\Reserv\\EditLogPath", "Quad", v),
              RegStatus::Ok);
    EXPECT_EQ(v.type, 0xbu);
    EXPECT_EQ(v.bytes.size(), 8u);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheCaseFirstWritten) {
    ASSERT_EQ(reg.writeText("Software\\Kelvane", "ServerName", "MAIN"), RegStatus::Ok);
    ASSERT_EQ(reg.writeText("SOFTWARE\\KELVANE\\Reserv", "SERVERNAME", "R1"), RegStatus::Ok);
    ASSERT_EQ(reg.writeText("software\\kelvane\\RESERV", "servername", "R2"), RegStatus::Ok);

    std::string text;
    ASSERT_EQ(reg.readText("sOfTwArE\\kElVaNe", "servername", text), RegStatus::Ok);
    EXPECT_EQ(text, "MAIN");
    ASSERT_EQ(reg.readText("Software\\Kelvane\\reserv", "ServerName", text), RegStatus::Ok);
    EXPECT_EQ(text, "R2");
    EXPECT_TRUE(reg.keyExists("SOFTWARE\\kelvane\\reserv"));

    const std::string saved = fileText(file);
    EXPECT_NE(saved.find("[HKEY_CURRENT_USER\\Software\\Kelvane\\Reserv]\n\"SERVERNAME\"=\"R2\"\n"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("R1"), std::string::npos);
    EXPECT_EQ(saved.find("RESERV"), std::string::npos);
}

TEST_F(RegistryTest, KeyPathsLoseOneLeadingSeparatorAndCollapseDoubledOnes) {
    ASSERT_EQ(reg.writeDefaultText("\\Software\\Base\\Reserv\\\\IsReserv", "-1"), RegStatus::Ok);
    std::string text;
    ASSERT_EQ(reg.readDefaultText("Software\\Base\\Reserv\\IsReserv\\", text), RegStatus::Ok);
    EXPECT_EQ(text, "-1");
    EXPECT_NE(
        fileText(file).find("[HKEY_CURRENT_USER\\Software\\Base\\Reserv\\IsReserv]\n@=\"-1\""),
        std::string::npos);
    // Only one leading separator is taken away.
    EXPECT_EQ(reg.writeDefaultText("\\\\Software\\Base", "x"), RegStatus::BadName);
    EXPECT_FALSE(reg.keyExists("\\\\Software\\Base"));
    // Names that cannot stand on a line of the file are refused.
    EXPECT_EQ(reg.writeText("Software\\Base", "two\nlines", "x"), RegStatus::BadName);
    EXPECT_EQ(reg.createKey("Software\\Bad\nKey"), RegStatus::BadName);
}

TEST_F(RegistryTest, MissingKeysValuesAndOtherTypesAreReportedAsCodes) {
    std::string text = "unchanged";
    std::uint32_t n = 7;
    EXPECT_FALSE(reg.keyExists("Software\\Nothing"));
    EXPECT_EQ(reg.readDefaultText("Software\\Nothing", text), RegStatus::NotFound);
    EXPECT_FALSE(std::filesystem::exists(file));  // reading creates no file

    ASSERT_EQ(reg.createKey("Software\\Empty\\Key"), RegStatus::Ok);
    EXPECT_TRUE(reg.keyExists("Software\\Empty"));
    EXPECT_EQ(reg.readDefaultText("Software\\Empty\\Key", text), RegStatus::NotFound);
    EXPECT_EQ(reg.readText("Software\\Empty\\Key", "Name", text), RegStatus::NotFound);
    EXPECT_NE(fileText(file).find("[HKEY_CURRENT_USER\\Software\\Empty\\Key]\n"),
              std::string::npos);

    ASSERT_EQ(reg.writeDWord("Software\\Empty\\Key", "", 1), RegStatus::Ok);
    EXPECT_EQ(reg.readDefaultText("Software\\Empty\\Key", text), RegStatus::WrongType);
    ASSERT_EQ(reg.writeText("Software\\Empty\\Key", "Name", "1"), RegStatus::Ok);
    EXPECT_EQ(reg.readDWord("Software\\Empty\\Key", "Name", n), RegStatus::WrongType);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(n, 7u);

    // A text read ends at the first NUL; the stored value keeps all of it.
    ASSERT_EQ(reg.writeDefaultText("Software\\Nul", std::string("ab\0cd", 5)), RegStatus::Ok);
    ASSERT_EQ(reg.readDefaultText("Software\\Nul", text), RegStatus::Ok);
    EXPECT_EQ(text, "ab");
    ASSERT_EQ(
        reg.writeValue("Software\\Nul", "E", RegistryValue::expandString(std::string("%A%\0b", 5))),
        RegStatus::Ok);
    ASSERT_EQ(reg.readText("Software\\Nul", "E", text), RegStatus::Ok);
    EXPECT_EQ(text, "%A%");
}

TEST_F(RegistryTest, AWriteThatChangesNothingLeavesTheFileAlone) {
    ASSERT_EQ(reg.writeText("Software\\K", "A", "1"), RegStatus::Ok);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_EQ(reg.writeText("Software\\K", "a", "1"), RegStatus::Ok);
    ASSERT_EQ(reg.createKey("software\\k"), RegStatus::Ok);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(RegistryTest, AGroupOfWritesIsOneReplacementAndSkipsOnlyNamesTheFileCannotHold) {
    int replacements = 0;
    reg.setReplaceStageHook([&](ReplaceStage stage) {
        if (stage == ReplaceStage::Renamed) ++replacements;
    });
    RegistryWrites writes;
    writes.writeText("Software\\K", "A", "1");
    writes.writeText("Software\\K", "bad\nname", "x");
    writes.writeDefaultText("Software\\K\\Sub", "d");
    writes.createKey("Software\\Empty");
    writes.writeDWord("\\\\leading", "N", 1);
    writes.writeDWord("Software\\K", "N", 7);
    EXPECT_EQ(reg.apply(writes),
              (std::vector<RegStatus>{RegStatus::Ok, RegStatus::BadName, RegStatus::Ok,
                                      RegStatus::Ok, RegStatus::BadName, RegStatus::Ok}));
    EXPECT_EQ(replacements, 1);

    const RegistryView view = reg.read();
    std::string text;
    std::uint32_t number = 0;
    EXPECT_EQ(view.readText("Software\\K", "A", text), RegStatus::Ok);
    EXPECT_EQ(text, "1");
    EXPECT_EQ(view.readDefaultText("software\\k\\sub", text), RegStatus::Ok);
    EXPECT_EQ(text, "d");
    EXPECT_EQ(view.readDWord("Software\\K", "N", number), RegStatus::Ok);
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(view.keyExists("Software\\Empty"));
    // The view is the file as it was read: later writes do not show in it.
    ASSERT_EQ(reg.writeText("Software\\K", "A", "2"), RegStatus::Ok);
    EXPECT_EQ(view.readText("Software\\K", "A", text), RegStatus::Ok);
    EXPECT_EQ(text, "1");
    // A group that changes nothing leaves the file alone.
    RegistryWrites same;
    same.writeText("Software\\K", "A", "2");
    same.createKey("Software\\Empty");
    reg.apply(same);
    EXPECT_EQ(replacements, 2);
}

TEST_F(RegistryTest, ANewFileIsPrivateAndAnExistingOneKeepsItsPermissions) {
    ASSERT_EQ(reg.writeText("Software\\K", "A", "1"), RegStatus::Ok);
    EXPECT_EQ(std::filesystem::status(file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    ASSERT_EQ(reg.writeText("Software\\K", "A", "2"), RegStatus::Ok);
    EXPECT_TRUE((std::filesystem::status(file).permissions() &
                 std::filesystem::perms::group_read) != std::filesystem::perms::none);
}

TEST_F(RegistryTest, AFileThatCannotBeParsedIsReportedWithItsLineAndNeverOverwritten) {
    const struct {
        const char* text;
        int line;
        const char* why;
    } cases[] = {
        {"Windows Registry Editor Version 5.00\n", 1, "does not begin with REGEDIT4"},
        {"REGEDIT4\n\n\"Name\"=\"x\"\n", 3, "before the first key"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n", 3, "not below HKEY_CURRENT_USER"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"Name\"=\"open\n", 4, "not closed"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n@=\"x\\n\"\n", 4, "unknown escape"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"N\"=dword:123456789\n", 4, "1 to 8 hex digits"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\n\"N\"=hex:00,\\\n  zz\n", 6, "not a hex byte"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"N\"=hex(2):41,,42\n", 4, "empty byte"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"N\"=-\n", 4, "deletions"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\\\B]\n", 3, "empty key name"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A\n", 3, "does not end with ]"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\nName=1\n", 3, "neither a key nor a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(file, c.text);
        std::string text;
        try {
            reg.writeText("Software\\K", "A", "1");
            ADD_FAILURE() << "no error";
        } catch (const RegistryError& e) {
            EXPECT_EQ(e.file(), file);
            EXPECT_EQ(e.line(), c.line);
            const std::string what = e.what();
            EXPECT_NE(what.find(file.string()), std::string::npos) << what;
            EXPECT_NE(what.find("line " + std::to_string(c.line)), std::string::npos) << what;
            EXPECT_NE(what.find(c.why), std::string::npos) << what;
        }
        EXPECT_THROW(reg.createKey("Software\\New"), RegistryError);
        EXPECT_THROW(reg.readText("A", "N", text), RegistryError);
        EXPECT_THROW(reg.keyExists("A"), RegistryError);
        EXPECT_EQ(fileText(file), c.text);
    }
}

TEST_F(RegistryTest, AFileThatCannotBeWrittenIsReportedAndTheOldOneStays) {
    // The registry's folder is a plain file, so nothing can be created in it.
    writeFile(dir / "blocker", "x");
    Registry blocked(dir / "blocker" / "registry.reg");
    try {
        blocked.writeText("Software\\K", "A", "1");
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_NE(std::string(e.what()).find((dir / "blocker" / "registry.reg").string()),
                  std::string::npos);
    }
    EXPECT_EQ(fileText(dir / "blocker"), "x");

    // A replacement that fails on its way (here: the sync of the new text) is reported, and
    // the file keeps its old content with no temporary file left beside it.
    ASSERT_EQ(reg.writeText("Software\\K", "A", "old"), RegStatus::Ok);
    const std::string old = fileText(file);
    reg.setReplaceStageHook([](ReplaceStage stage) {
        if (stage == ReplaceStage::TempWritten)
            throw std::system_error(std::make_error_code(std::errc::no_space_on_device),
                                    "cannot sync");
    });
    try {
        reg.writeText("Software\\K", "A", "new");
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.file(), file);
        EXPECT_NE(std::string(e.what()).find("cannot be written"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fileText(file), old);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".registry.reg.", 0), std::string::npos)
            << "temporary file left: " << entry.path();
}

TEST(RegistryLocation, ComesFromTvrRegistryElseTheXdgConfigFolderElseHome) {
    tvr::testing::ScopedEnvironment env;
    env.set("TVR_REGISTRY", "/some/where.reg");
    env.set("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(Registry::defaultFile(), "/some/where.reg");
    env.unset("TVR_REGISTRY");
    EXPECT_EQ(Registry::defaultFile(), "/xdg/travenor/registry.reg");
    env.set("XDG_CONFIG_HOME", "");
    env.set("HOME", "/home/u");
    EXPECT_EQ(Registry::defaultFile(), "/home/u/.config/travenor/registry.reg");
    env.unset("XDG_CONFIG_HOME");
    EXPECT_EQ(Registry::defaultFile(), "/home/u/.config/travenor/registry.reg");
}
