// A week left alone, compressed: continuous transaction passes (interval off, each file
// deleted after its load) against two emulators, the main server killed and started again
// every N passes, through the real start of processing, client library and log files.
//
//   week_bench [passes] [restart-every]        (default 100000 passes, a restart every 10000)
//
// Prints, for each restart: the passes it cost (passes that failed between the kill and the
// first good pass after it), the time from the kill to the end of that good pass, and the
// process's resident memory and open descriptors then; at the end the same figures after the
// last pass. The server comes back at once; the wait is the worker's reconnect and back-off.
#include "bench/ProcessFigures.h"
#include "bench/ShippingServers.h"
#include "engine/ProcessingControl.h"
#include "tests/support/ScriptedProcessingHost.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tvr::engine;

namespace {

// Counts passes and the good ones from the watch; everything else is dropped.
class CountingDisplay final : public TProcessDisplay {
public:
    void SetProcessState(int state) override {
        if (state == StateSleeping) {
            std::lock_guard lock(mutex_);
            ++passes_;
            changed_.notify_all();
        }
    }
    void ShowWatch(const TWatchView&) override {}
    void RefreshTray() override {}
    void EnableStart(bool) override {}
    void SetToolbarSection(ToolbarSection, int, bool) override {}
    void SetActivityBusy(bool) override {}
    void RequestClose() override {}
    void SetStatusText(int, const std::string&) override {}
    void SetInfoRowCount(int) override {}
    void SetInfoRow(int, const InfoRow&) override {}
    void SetInfoCell(int, int, const std::string&) override {}
    void EnableTrayMain(bool) override {}

    long passes() const {
        std::lock_guard lock(mutex_);
        return passes_;
    }
    void waitForPasses(long n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return passes_ >= n; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    long passes_ = 0;
};

long countIn(const fs::path& file, const std::string& text) {
    std::ifstream in(file, std::ios::binary);
    long n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

// Passes that shipped nothing: a dump or load that failed, or a dump never sent because the
// connection was found dead.
long passesLost(const fs::path& errors) {
    return countIn(errors, "The dump of sales failed") +
           countIn(errors, "The dump of sales not reached") +
           countIn(errors, "The load of sales_copy failed");
}

void printProcess(const char* when) {
    const auto figures = tvr::bench::processFigures();
    std::printf("  %s: resident %ld KiB, heap in use %ld KiB, descriptors %d\n", when,
                figures.residentKiB, figures.heapInUseKiB, figures.descriptors);
}

}  // namespace

int main(int argc, char** argv) {
    const long passes = argc > 1 ? std::atol(argv[1]) : 100000;
    const long every = argc > 2 ? std::atol(argv[2]) : 10000;
    if (passes < 1 || every < 1) {
        std::fprintf(stderr, "usage: week_bench [passes] [restart-every]\n");
        return 2;
    }
    tvr::bench::findEmulatorBesideThisProgram();
    const fs::path dir =
        fs::temp_directory_path() / ("tvr-week-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "dumps");
    const fs::path errors = dir / "errors.log";
    {
        tvr::testing::Emulator main("WEEKMAIN", {"sales"});
        tvr::testing::Emulator reserve("WEEKRESERVE", {"sales_copy"});
        tvr::testing::RunState window;
        tvr::bench::logOnForShipping(window, main, reserve, dir, 1);

        const std::string folder = (dir / "dumps").string();
        tvr::testing::ScriptedProcessingHost host(window.connections);
        // A full first pass, then transaction passes; a chain broken by a failed full pass
        // is healed by the next one.
        host.setStartSettings(TStartSettings{true, "sales", folder, "sales_copy", folder});
        TPassSettings settings{true, false, "00:00"};
        settings.IsFullOnBreak = true;
        host.setPassSettings(settings);
        CountingDisplay display;
        TProcessingControl control(window.connections, window.flags, window.worker, display, host,
                                   {});

        std::printf("week_bench: %ld continuous passes, the main server restarted every %ld\n",
                    passes, every);
        control.StartProcessing();
        for (long at = every; at < passes; at += every) {
            display.waitForPasses(at);
            const long failedBefore = passesLost(errors);
            const long backBefore = countIn(errors, "Connection to WEEKMAIN opened again");
            const auto killed = Clock::now();
            main.signal(SIGKILL);
            main.start();
            // The first good pass after the kill ends after the connection is back.
            while (countIn(errors, "Connection to WEEKMAIN opened again") == backBefore)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const long passesBack = display.passes();
            display.waitForPasses(passesBack + 1);
            const double seconds = std::chrono::duration<double>(Clock::now() - killed).count();
            std::printf("restart after pass %ld: %ld passes lost, shipping again after %.2f s\n",
                        at, passesLost(errors) - failedBefore, seconds);
            printProcess("then");
        }
        display.waitForPasses(passes);
        control.RequestStop();
        window.worker->WaitFor();
        printProcess("after the last pass");
    }
    fs::remove_all(dir);
    return 0;
}
