#include "config/ProcedureMarker.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace tvr::config;
using tvr::platform::Registry;
using tvr::platform::RegistryValue;
using tvr::platform::RegStatus;

TEST(ProcedureMarker, OnlyTheDWordOneMeansInstalled) {
    tvr::testing::TempFolder dir;
    Registry registry(dir / "registry.reg");
    EXPECT_FALSE(readProcedureInstalled(registry));  // no key
    ASSERT_EQ(registry.createKey("Software\\DorniqKlv"), RegStatus::Ok);
    EXPECT_FALSE(readProcedureInstalled(registry));  // no value
    ASSERT_EQ(registry.writeDWord("Software\\DorniqKlv", "IsI", 0), RegStatus::Ok);
    EXPECT_FALSE(readProcedureInstalled(registry));
    ASSERT_EQ(registry.writeDWord("Software\\DorniqKlv", "IsI", 2), RegStatus::Ok);
    EXPECT_FALSE(readProcedureInstalled(registry));
    ASSERT_EQ(registry.writeText("Software\\DorniqKlv", "IsI", "1"), RegStatus::Ok);
    EXPECT_FALSE(readProcedureInstalled(registry));  // text, not a dword

    writeProcedureInstalled(registry);
    EXPECT_TRUE(readProcedureInstalled(Registry(dir / "registry.reg")));
    RegistryValue v;
    ASSERT_EQ(registry.readValue("software\\dorniqklv", "isi", v), RegStatus::Ok);
    EXPECT_EQ(v, RegistryValue::dword(1));
    EXPECT_NE(tvr::testing::fileText(dir / "registry.reg")
                  .find("[HKEY_CURRENT_USER\\Software\\DorniqKlv]\n\"IsI\"=dword:00000001\n"),
              std::string::npos);
}
