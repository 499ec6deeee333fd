// The stop signals arrive as numbers on a descriptor, in the order they came, and the process
// gets its own handling of them back once nobody watches.
#include "platform/StopSignals.h"

#include <gtest/gtest.h>

#include <csignal>

using tvr::platform::StopSignals;

namespace {

bool ignored(int signal) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler == SIG_IGN;
}

}  // namespace

TEST(StopSignals, EachSignalIsTakenOnceInTheOrderItCameAndNothingElseWaits) {
    StopSignals signals;
    EXPECT_EQ(signals.take(), 0);
    ASSERT_EQ(std::raise(SIGINT), 0);
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(signals.take(), SIGINT);
    EXPECT_EQ(signals.take(), SIGTERM);
    EXPECT_EQ(signals.take(), 0);
}

TEST(StopSignals, TheHandlingBeforeComesBackAndOnlyOneWatchesAtATime) {
    const auto before = std::signal(SIGTERM, SIG_IGN);
    {
        StopSignals signals;
        EXPECT_FALSE(ignored(SIGTERM));
        EXPECT_THROW(StopSignals(), std::runtime_error);
    }
    EXPECT_TRUE(ignored(SIGTERM));
    { StopSignals again; }
    std::signal(SIGTERM, before);
}
