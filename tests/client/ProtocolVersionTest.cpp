// The protocol the program asks for: TDS 5.0 unless the user chose another.
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ServerFixture.h"

#include <cstdlib>

using namespace tvr::client;
using namespace tvr::client::testing;

namespace {

class ProtocolVersion : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        // The server's section names no version and the global one says "auto", as the
        // configuration Debian installs does.
        const std::string conf = path("freetds.conf");
        std::ofstream(conf) << "[global]\n\ttds version = auto\n\n[" << emulator->name()
                            << "]\n\thost = 127.0.0.1\n\tport = " << emulator->port() << "\n";
        env.set("FREETDSCONF", conf);
        env.unset("TDSVER");
    }
    tvr::testing::ScopedEnvironment env;
};

}  // namespace

TEST_F(ProtocolVersion, UnconfiguredServerIsReachedWithTds50) {
    auto c = connect();
    EXPECT_EQ(c->RetCode(), CS_SUCCEED);
    CS_INT version = 0;
    ct_con_props(c->Connection(), CS_GET, CS_TDS_VERSION, &version, CS_UNUSED, nullptr);
    EXPECT_EQ(version, CS_TDS_50);
    // Asked for 5.0 at once: the first connection the server saw is the one that logged on.
    // Left to "auto", FreeTDS first tries a TDS 7 logon, which the emulator refuses.
    EXPECT_EQ(emulator->traceText().rfind("-- connection 1,", 0), 0u) << emulator->traceText();
}

TEST_F(ProtocolVersion, VersionChosenByTheUserIsKept) {
    // The emulator speaks nothing but 5.0, so a logon with 7.4 is refused: the choice held.
    env.set("TDSVER", "7.4");
    auto c = connect();
    EXPECT_NE(c->RetCode(), CS_SUCCEED);
    EXPECT_TRUE(c->Failed());
}
