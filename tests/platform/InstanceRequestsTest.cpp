#include "platform/InstanceRequests.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace tvr::platform;

namespace {

// Waits until a request is there to be taken, as the event loop does before it asks.
bool requestWaits(const RequestListener& listener) {
    pollfd ready{listener.descriptor(), POLLIN, 0};
    return ::poll(&ready, 1, 60000) == 1;
}

}  // namespace

TEST(InstanceRequests, ALaterStartReachesTheListenerOnlyWhileItListens) {
    tvr::test::TempFolder dir;
    const auto socket = requestSocketFile(dir / "DumpLoadDBSync");
    EXPECT_FALSE(askRunningInstanceToShow(socket));  // nobody there
    {
        RequestListener listener(socket);
        ASSERT_TRUE(listener.listening()) << listener.error();
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(askRunningInstanceToShow(socket));
            ASSERT_TRUE(requestWaits(listener));
            EXPECT_TRUE(listener.takeRequest());
        }
        EXPECT_FALSE(listener.takeRequest());  // nothing waits: no block, no request
    }
    EXPECT_FALSE(std::filesystem::exists(socket));
    EXPECT_FALSE(askRunningInstanceToShow(socket));
}

TEST(InstanceRequests, ASocketLeftByADeadInstanceIsReplacedAndAStrangerIsNoRequest) {
    tvr::test::TempFolder dir;
    const auto socket = requestSocketFile(dir / "DumpLoadDBSync");
    // A socket file whose listener is gone, as a killed instance leaves it.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(dead, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(dead);
    ASSERT_TRUE(std::filesystem::exists(socket));

    RequestListener listener(socket);
    ASSERT_TRUE(listener.listening()) << listener.error();
    // A connection that says something else is taken and dropped.
    const int other = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(other, "quit\n", 5, 0), 5);
    ASSERT_TRUE(requestWaits(listener));
    EXPECT_FALSE(listener.takeRequest());
    ::close(other);
    ASSERT_TRUE(askRunningInstanceToShow(socket));
    ASSERT_TRUE(requestWaits(listener));
    EXPECT_TRUE(listener.takeRequest());
}
