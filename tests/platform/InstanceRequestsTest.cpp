#include "platform/InstanceRequests.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
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
    tvr::testing::TempFolder dir;
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
    tvr::testing::TempFolder dir;
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

// A long profile under a long configuration folder can make the socket's path longer than a
// socket address holds: the instance must still be reached there, never at a cut path; only a
// file name itself too long for an address is refused, in words.
TEST(InstanceRequests, ASocketPathOfAnyLengthIsReachedAndANameTooLongIsRefusedInWords) {
    const std::size_t addressRoom = sizeof(sockaddr_un::sun_path) - 1;
    struct Case {
        std::size_t pathLength;
        std::size_t nameLength;
        bool reached;
    };
    const Case cases[] = {
        {60, 20, true},  {addressRoom, 20, true}, {addressRoom + 1, 20, true},
        {400, 20, true}, {3000, 80, true},        {400, addressRoom, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("path " + std::to_string(c.pathLength) + ", name " +
                     std::to_string(c.nameLength));
        tvr::testing::TempFolder dir;
        const std::string name(c.nameLength, 'n');
        // Folders of up to 200 bytes each, up to the length asked for.
        std::filesystem::path folder = dir.path();
        for (;;) {
            const long left = static_cast<long>(c.pathLength) -
                              static_cast<long>(folder.string().size() + 1 + name.size());
            if (left == 0) break;
            ASSERT_GT(left, 1) << "the case's lengths cannot be built under " << dir.string();
            // Never leave a single byte, which no folder could take.
            const long part = left - 1 <= 200 ? left - 1 : (left - 201 == 1 ? 199 : 200);
            folder /= std::string(static_cast<std::size_t>(part), 'f');
        }
        std::filesystem::create_directories(folder);
        const auto socket = folder / name;
        ASSERT_EQ(socket.string().size(), c.pathLength);

        {
            RequestListener listener(socket);
            EXPECT_EQ(listener.listening(), c.reached);
            if (c.reached) {
                ASSERT_TRUE(std::filesystem::exists(socket)) << "not where it was asked to be";
                ASSERT_TRUE(askRunningInstanceToShow(socket));
                ASSERT_TRUE(requestWaits(listener));
                EXPECT_TRUE(listener.takeRequest());
            } else {
                EXPECT_NE(listener.error().find("too long"), std::string::npos) << listener.error();
                EXPECT_FALSE(askRunningInstanceToShow(socket));
            }
        }
        EXPECT_FALSE(std::filesystem::exists(socket));
    }
}
