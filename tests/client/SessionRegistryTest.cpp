// Connection objects and the session registry, without a server.
#include "tests/support/ClientFixture.h"

#include "client/SessionRegistry.h"
#include "client/Sybase.h"

#include <memory>
#include <thread>

using namespace tvr::client;
using namespace tvr::client::testing;

using SessionRegistry = ClientFixture;

TEST_F(SessionRegistry, EachConnectionHasItsOwnContextAndEntry) {
    ASSERT_FALSE(sessionRegistryExists());
    auto main = std::make_unique<TSybaseConnect>("MAIN", "sa", "pw", "", "");
    auto reserve = std::make_unique<TSybaseConnect>("RESERVE", "sa", "pw", "", "");
    ASSERT_NE(main->Connection(), nullptr);
    EXPECT_NE(main->Context(), reserve->Context());
    EXPECT_EQ(sessionCount(), 2u);
    EXPECT_EQ(FindSession(main->Connection()), main.get());
    EXPECT_EQ(FindSession(reserve->Connection()), reserve.get());
    EXPECT_EQ(FindSession(nullptr), nullptr);
    EXPECT_EQ(main->ServerName(), "MAIN");
    EXPECT_EQ(main->UserName(), "sa");
    EXPECT_TRUE(main->TimeStamp());
    EXPECT_FALSE(main->ServerError());
    EXPECT_EQ(main->ColCount(), 0);
    EXPECT_EQ(main->Field().Value, "");

    CS_CONNECTION* const reserveHandle = reserve->Connection();
    main.reset();  // the older one first
    EXPECT_TRUE(sessionRegistryExists());
    EXPECT_EQ(FindSession(reserveHandle), reserve.get());
    reserve.reset();
    EXPECT_FALSE(sessionRegistryExists());
    EXPECT_EQ(FindSession(reserveHandle), nullptr);

    TSybaseConnect again("MAIN", "sa", "", "", "");
    EXPECT_TRUE(sessionRegistryExists());
    EXPECT_EQ(FindSession(again.Connection()), &again);
}

TEST_F(SessionRegistry, ConnectionsComeAndGoOnSeveralThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 20; ++i) {
                TSybaseConnect c("S", "u", "", "", "");
                EXPECT_EQ(FindSession(c.Connection()), &c);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_FALSE(sessionRegistryExists());
}

TEST_F(SessionRegistry, ExecuteWithoutAConnectionLogsTheUnsentCommand) {
    // A connection that never connected: the library refuses the command, the results
    // fail, and the cancel that FreeTDS refuses closes the connection by force.
    TSybaseConnect c("TVR_NOWHERE", "sa", "", path("act.log"), "");
    c.Execute("select 1");
    EXPECT_TRUE(c.Failed());
    EXPECT_EQ(c.Connection(), nullptr);
    EXPECT_EQ(readFile(dir / "act.log"), "$Err$12:00:01 Unexpected Error! Connect failed!\r\n");
    EXPECT_EQ(FindSession(nullptr), nullptr);
    // From now on nothing reaches the library.
    c.Execute("select 2\r\ngo");
    EXPECT_EQ(readFile(dir / "act.log"),
              "$Err$12:00:01 Unexpected Error! Connect failed!\r\n"
              "$Err$НЕПРАВИЛЬНЫЙ ЗАПРОС: select 2\r\ngo");
    EXPECT_EQ(c.ColCount(), 0);
    EXPECT_EQ(c.RowCount(), 0);
    EXPECT_EQ(c.ValueByName("x").Value, "");
    EXPECT_EQ(activityView.texts().back(), "go");
}
