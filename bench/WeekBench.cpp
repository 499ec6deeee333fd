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
//
//   week_bench [passes] [restart-every] --kill-reserve N
//
// The reserve server is killed too, every N passes, at a moment of the pass that varies from
// one kill to the next (inside a dump, inside a load, between them), and started again at once
// on the same data folder. Each restart prints one line as above; at the end: the passes, the
// restarts of each server, the dumps the ledger (ledger.csv beside the run's registry file)
// records as made and never loaded (the goal is none: a load that failed is tried again before
// anything new is dumped), and the resident memory after the first pass, the middle one and
// the last (the goal is flat).
#include "bench/ProcessFigures.h"
#include "bench/ShippingServers.h"
#include "engine/ProcessingControl.h"
#include "engine/ShippingLedger.h"
#include "tests/support/ScriptedProcessingHost.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

// Passes that shipped nothing: a dump or load that failed, or one never sent because the
// connection was found dead.
long passesLost(const fs::path& errors) {
    return countIn(errors, "The dump of sales failed") +
           countIn(errors, "The dump of sales not reached") +
           countIn(errors, "The load of sales_copy failed") +
           countIn(errors, "The load of sales_copy not reached");
}

void printProcess(const char* when) {
    const auto figures = tvr::bench::processFigures();
    std::printf("  %s: resident %ld KiB, heap in use %ld KiB, descriptors %d\n", when,
                figures.residentKiB, figures.heapInUseKiB, figures.descriptors);
}

struct Options {
    long passes = 100000;
    long mainEvery = 10000;
    long reserveEvery = 0;  // 0: the reserve is never killed, only the main
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    std::vector<long> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--kill-reserve" && i + 1 < argc)
            options.reserveEvery = std::atol(argv[++i]);
        else if (!argument.empty() && argument[0] != '-')
            positional.push_back(std::atol(argument.c_str()));
        else
            return std::nullopt;
    }
    if (positional.size() > 2) return std::nullopt;
    if (positional.size() > 0) options.passes = positional[0];
    if (positional.size() > 1) options.mainEvery = positional[1];
    const bool killReserve = options.reserveEvery != 0;
    if (options.passes < 1 || options.mainEvery < 1 || (killReserve && options.reserveEvery < 1))
        return std::nullopt;
    return options;
}

// What the run does when its pass count reaches `at`: note the memory, or kill a server and
// start it again. At one count the memory comes first, then the main server, then the reserve.
struct Milestone {
    enum What { Memory, KillMain, KillReserve } what;
    long at;
};

std::vector<Milestone> milestones(const Options& options) {
    std::vector<Milestone> all;
    for (long at = options.mainEvery; at < options.passes; at += options.mainEvery)
        all.push_back({Milestone::KillMain, at});
    if (options.reserveEvery != 0) {
        for (long at = options.reserveEvery; at < options.passes; at += options.reserveEvery)
            all.push_back({Milestone::KillReserve, at});
        all.push_back({Milestone::Memory, 1});
        all.push_back({Milestone::Memory, options.passes / 2});
    }
    std::sort(all.begin(), all.end(), [](const Milestone& a, const Milestone& b) {
        return a.at != b.at ? a.at < b.at : a.what < b.what;
    });
    return all;
}

struct RestartCost {
    long passesLost = 0;
    double seconds = 0;
};

// Kills `server` (after `delay`, so that the kill falls at another moment of the pass) and
// starts it again at once; returns once the first pass after its connection is back has ended.
RestartCost restart(tvr::testing::Emulator& server, CountingDisplay& display,
                    const fs::path& errors, std::chrono::milliseconds delay) {
    const std::string back = "Connection to " + server.name() + " opened again";
    std::this_thread::sleep_for(delay);
    const long failedBefore = passesLost(errors);
    const long backBefore = countIn(errors, back);
    const auto killed = Clock::now();
    server.signal(SIGKILL);
    server.start();
    // The first good pass after the kill ends after the connection is back. A worker that
    // never reconnects is a finding, not a figure: the run ends instead of waiting for ever.
    while (countIn(errors, back) == backBefore) {
        if (Clock::now() - killed > std::chrono::minutes(5)) {
            std::fprintf(stderr, "week_bench: no connection to %s 5 minutes after its restart\n",
                         server.name().c_str());
            std::_Exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const long passesBack = display.passes();
    display.waitForPasses(passesBack + 1);
    return {passesLost(errors) - failedBefore,
            std::chrono::duration<double>(Clock::now() - killed).count()};
}

// Dumps the ledger records as made and not loaded: a "dump" entry with outcome ok whose file
// has no later "load" entry with outcome ok. A file name used again (the file was loaded and
// deleted within its second) starts a new dump; the earlier one, if still unloaded, counts.
struct LedgerCount {
    long entries = 0;
    long skipped = 0;
    long dumps = 0;
    long unloaded = 0;
};

LedgerCount countUnloaded(const fs::path& file) {
    TShippingLedger ledger(file);
    ledger.Read();
    LedgerCount count;
    count.entries = static_cast<long>(ledger.Entries().size());
    count.skipped = static_cast<long>(ledger.Skipped());
    std::map<std::string, bool> waiting;  // pair and file: made and not loaded yet
    for (const TLedgerEntry& entry : ledger.Entries()) {
        if (!entry.ok) continue;
        const std::string key = entry.pair + "\n" + entry.file;
        if (entry.event == LedgerEvent::Dump) {
            ++count.dumps;
            if (waiting[key]) ++count.unloaded;
            waiting[key] = true;
        } else if (entry.event == LedgerEvent::Load) {
            waiting[key] = false;
        }
    }
    for (const auto& [key, unloaded] : waiting) count.unloaded += unloaded ? 1 : 0;
    return count;
}

void printSummary(long passes, int reserveRestarts, int mainRestarts, const fs::path& ledgerFile,
                  const std::vector<std::string>& memory) {
    std::printf("passes: %ld\n", passes);
    std::printf("restarts: reserve %d, main %d\n", reserveRestarts, mainRestarts);
    if (!fs::exists(ledgerFile)) {
        std::printf("dumps left unloaded: unknown, no ledger at %s\n", ledgerFile.c_str());
    } else {
        const LedgerCount count = countUnloaded(ledgerFile);
        // The ledger compacts itself: it keeps the dumps that still count, not every one made.
        std::printf("dumps left unloaded: %ld (the ledger keeps %ld dumps in %ld entries",
                    count.unloaded, count.dumps, count.entries);
        if (count.skipped > 0) std::printf(", %ld lines that are none", count.skipped);
        std::printf(")\n");
    }
    std::printf("resident memory:");
    for (std::size_t i = 0; i < memory.size(); ++i)
        std::printf("%s %s", i == 0 ? "" : ",", memory[i].c_str());
    std::printf("\n");
}

void printHeading(const Options& options) {
    if (options.reserveEvery != 0)
        std::printf(
            "week_bench: %ld continuous passes, the reserve server killed and started "
            "again every %ld, the main every %ld\n",
            options.passes, options.reserveEvery, options.mainEvery);
    else
        std::printf("week_bench: %ld continuous passes, the main server restarted every %ld\n",
                    options.passes, options.mainEvery);
    std::fflush(stdout);
}

std::string residentAfter(long pass) {
    return "after pass " + std::to_string(pass) + " " +
           std::to_string(tvr::bench::processFigures().residentKiB) + " KiB";
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> parsed = parseOptions(argc, argv);
    if (!parsed) {
        std::fprintf(stderr, "usage: week_bench [passes] [restart-every] [--kill-reserve N]\n");
        return 2;
    }
    const Options options = *parsed;
    const bool killReserve = options.reserveEvery != 0;
    tvr::bench::findEmulatorBesideThisProgram();
    const fs::path dir =
        fs::temp_directory_path() / ("tvr-week-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "dumps");
    // The run's own profile: nothing of it goes into the user's.
    ::setenv("TVR_REGISTRY", (dir / "registry.reg").c_str(), 1);
    const fs::path ledgerFile = dir / "ledger.csv";
    const fs::path errors = dir / "errors.log";
    {
        tvr::testing::Emulator main("WEEKMAIN", {"sales"});
        tvr::testing::Emulator reserve("WEEKRESERVE", {"sales_copy"});
        tvr::testing::RunState window;
        tvr::bench::logOnForShipping(window, main, reserve, dir, 1);

        const std::string folder = (dir / "dumps").string();
        tvr::testing::ScriptedProcessingHost host(window.connections);
        // The ledger a profile's run keeps, read at the start and written by every pass.
        host.ledgerFile = ledgerFile.string();
        // A full first pass, then transaction passes; a chain broken by a failed full pass
        // is healed by the next one.
        host.setStartSettings(TStartSettings{true, "sales", folder, "sales_copy", folder});
        TPassSettings settings{true, false, "00:00"};
        settings.IsFullOnBreak = true;
        host.setPassSettings(settings);
        CountingDisplay display;
        TProcessingControl control(window.connections, window.flags, window.worker, display, host,
                                   {});

        printHeading(options);
        control.StartProcessing();
        int mainRestarts = 0;
        int reserveRestarts = 0;
        std::vector<std::string> memory;
        for (const Milestone& milestone : milestones(options)) {
            display.waitForPasses(milestone.at);
            if (milestone.what == Milestone::Memory) {
                memory.push_back(residentAfter(milestone.at));
                continue;
            }
            const bool ofMain = milestone.what == Milestone::KillMain;
            // Spread over a pass of some tens of milliseconds, the same for every run.
            const int kills = mainRestarts + reserveRestarts;
            const auto delay = std::chrono::milliseconds(killReserve ? kills * 17 % 60 : 0);
            const RestartCost cost = restart(ofMain ? main : reserve, display, errors, delay);
            ++(ofMain ? mainRestarts : reserveRestarts);
            if (!killReserve) {
                std::printf(
                    "restart after pass %ld: %ld passes lost, shipping again after %.2f s\n",
                    milestone.at, cost.passesLost, cost.seconds);
                printProcess("then");
            } else {
                std::printf(
                    "%s restart after pass %ld: %ld passes lost, shipping again after "
                    "%.2f s\n",
                    ofMain ? "main" : "reserve", milestone.at, cost.passesLost, cost.seconds);
            }
            std::fflush(stdout);
        }
        display.waitForPasses(options.passes);
        control.RequestStop();
        window.worker->WaitFor();
        if (!killReserve) {
            printProcess("after the last pass");
        } else {
            memory.push_back(residentAfter(display.passes()));
            printSummary(display.passes(), reserveRestarts, mainRestarts, ledgerFile, memory);
        }
    }
    fs::remove_all(dir);
    return 0;
}
