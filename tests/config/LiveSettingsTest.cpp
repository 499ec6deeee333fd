#include "config/LiveSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tvr::config;

TEST(LiveSettings, AWorkerReadsWholeSettingsWhileTheDialogEditsThem) {
    LiveSettings live;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    // The dialog always changes the two folders together; a reader never sees them apart.
    std::thread worker([&] {
        while (!stop) {
            const TDumpLoadSettings s = live.snapshot();
            if (s.EditPathDump != s.EditPathLoad) ++torn;
            if (live.read(&TDumpLoadSettings::EditInterval).size() != 5) ++torn;
            ++reads;
        }
    });
    for (int i = 0; i < 20000; ++i) {
        const std::string folder = "/srv/dumps/" + std::to_string(i) + std::string(i % 50, 'x');
        live.edit([&](TDumpLoadSettings& s) {
            s.EditPathDump = folder;
            s.EditPathLoad = folder;
            s.EditInterval = i % 2 ? "01:30" : "00:05";
        });
    }
    while (reads < 100) std::this_thread::yield();
    stop = true;
    worker.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(live.read(&TDumpLoadSettings::EditInterval), "01:30");
}
