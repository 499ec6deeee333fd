// The dump/load worker's own cost, against two emulators started for the purpose: transaction
// passes one after another (interval off, each dump file deleted after its load), through the
// real start of processing, client library and log files.
//
//   worker_bench [passes] [--window]        (default 10000 passes, no window)
//
// With --window the real main window, shown (offscreen unless QT_QPA_PLATFORM says otherwise),
// is the worker's display and its two views take the log lines, as they do for a user; the GUI
// thread runs its event loop meanwhile. Without it, nothing shows the lines.
//
// Prints, over the first 1,000 passes: the worker's own time per pass (the pass's wall time
// less the time its thread spent blocked waiting for the servers' answers) and the idle gap
// between two passes ("Sleeping..." to the next "Processing..."), median and 99th percentile,
// with the processor time the worker's thread used per pass, which a busy machine does not
// inflate. The process's resident memory, heap in use, open descriptors and (with the window)
// lines in the views are printed as the run goes, one line each after 100 passes, 1,000,
// 10,000 and every 100,000, so that a long run can be followed and a cut one still tells;
// at the end the same after the last pass, and its resident memory against that after 10,000.
//
// The servers' time is measured on the client side: the library waits for every answer in
// poll(), which this program interposes to add up, per thread, the time spent blocked there.
#include "bench/ProcessFigures.h"
#include "bench/ShippingServers.h"
#include "engine/ProcedureCall.h"
#include "engine/ProcessingControl.h"
#include "tests/support/ScriptedProcessingHost.h"
#include "ui/FormDumpLoad.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QEventLoop>

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

thread_local Clock::duration blockedInPoll{};

}  // namespace

// Every poll() of the process, the client library's waits for the servers among them.
extern "C" int poll(struct pollfd* fds, nfds_t count, int timeout) {
    using PollFunction = int (*)(struct pollfd*, nfds_t, int);
    static const auto real = reinterpret_cast<PollFunction>(::dlsym(RTLD_NEXT, "poll"));
    const auto start = Clock::now();
    const int result = real(fds, count, timeout);
    blockedInPoll += Clock::now() - start;
    return result;
}

namespace {

using namespace tvr::engine;

using tvr::bench::ProcessFigures;
using tvr::bench::processFigures;

// The processor time of the calling thread.
Clock::duration threadCpuTime() {
    return std::chrono::nanoseconds(tvr::bench::threadCpuNanoseconds());
}

// Takes the time of every state change on the worker's thread, into storage reserved before
// the run, and stops the worker after `passes` passes. Passes every call on to `shown`, the
// main window, when there is one.
class TimingDisplay final : public TProcessDisplay {
public:
    TimingDisplay(tvr::testing::RunState& window, int passes, tvr::ui::TFormDumpLoad* shown)
        : window_(window), passes_(passes), shown_(shown) {
        // Written in full now, so that their pages are resident before the first figure is
        // taken and do not show as growth of the worker.
        const auto timed = static_cast<std::size_t>(std::min(passes, kTimedPasses));
        own_.assign(timed, {});
        gap_.assign(timed, {});
        cpu_.assign(timed, {});
    }

    void SetProcessState(int state) override {
        if (shown_) shown_->SetProcessState(state);
        const auto now = Clock::now();
        if (state == StateProcessing) {
            const auto cpu = threadCpuTime();
            if (count_ > 0 && count_ <= kTimedPasses) {
                const auto pass = static_cast<std::size_t>(count_ - 1);
                own_[pass] = (now - passStart_) - (blockedInPoll - blockedAtStart_);
                cpu_[pass] = cpu - cpuAtStart_;
                gap_[pass] = now - sleepStart_;
            }
            if (isMilestone(count_)) takeFigures(count_);
            ++count_;
            passStart_ = now;
            blockedAtStart_ = blockedInPoll;
            cpuAtStart_ = cpu;
        } else if (state == StateSleeping) {
            sleepStart_ = now;
            if (count_ >= passes_) window_.worker->StopRequested = true;
        } else if (state == StateNotActive) {
            std::lock_guard lock(mutex_);
            ended_ = true;
            done_.notify_all();
            if (shown_)
                QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
    }
    void RefreshTray() override {
        if (shown_) shown_->RefreshTray();
    }
    void EnableStart(bool enabled) override {
        if (shown_) shown_->EnableStart(enabled);
    }
    void SetToolbarSection(ToolbarSection section, int image, bool clickable) override {
        if (shown_) shown_->SetToolbarSection(section, image, clickable);
    }
    void SetActivityBusy(bool busy) override {
        if (shown_) shown_->SetActivityBusy(busy);
    }
    void RequestClose() override {}
    void SetStatusText(int panel, const std::string& text) override {
        if (shown_) shown_->SetStatusText(panel, text);
    }
    void SetInfoRowCount(int rows) override {
        if (shown_) shown_->SetInfoRowCount(rows);
    }
    void SetInfoRow(int row, const InfoRow& cells) override {
        if (shown_) shown_->SetInfoRow(row, cells);
    }
    void SetInfoCell(int row, int column, const std::string& text) override {
        if (shown_) shown_->SetInfoCell(row, column, text);
    }
    void EnableTrayMain(bool enabled) override {
        if (shown_) shown_->EnableTrayMain(enabled);
    }

    void waitForEnd() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return ended_; });
    }
    const std::vector<Clock::duration>& own() const { return own_; }
    const std::vector<Clock::duration>& gap() const { return gap_; }
    const std::vector<Clock::duration>& cpu() const { return cpu_; }
    // The figures after 10,000 passes (zero before the run reached them).
    ProcessFigures after10000() const {
        std::lock_guard lock(mutex_);
        return figuresAfter(10000);
    }

    // The change of resident memory from `then` to `now`, in per cent of `then`.
    static std::string residentChange(const ProcessFigures& now, const ProcessFigures& then) {
        if (then.residentKiB <= 0) return "unknown";
        char text[32];
        std::snprintf(text, sizeof text, "%+.1f %%",
                      100.0 * static_cast<double>(now.residentKiB - then.residentKiB) /
                          static_cast<double>(then.residentKiB));
        return text;
    }

private:
    static bool isMilestone(int passes) {
        return passes == 100 || passes == 1000 || passes == 10000 ||
               (passes > 0 && passes % 100000 == 0);
    }

    // Figures after `passes` passes, kept and printed at once. The views belong to the GUI
    // thread: with the window the figures are taken there, a moment later.
    void takeFigures(int passes) {
        if (!shown_) {
            keep(passes, processFigures(), "");
            return;
        }
        QMetaObject::invokeMethod(
            qApp,
            [this, passes] {
                keep(passes, processFigures(),
                     ", lines in the views " + std::to_string(shown_->activityView()->lineCount()) +
                         " activity, " + std::to_string(shown_->errorView()->lineCount()) +
                         " errors");
            },
            Qt::QueuedConnection);
    }

    void keep(int passes, const ProcessFigures& figures, const std::string& lines) {
        std::string change;
        {
            std::lock_guard lock(mutex_);
            if (passes > 10000)
                change = ", resident against after 10000 " +
                         residentChange(figures, figuresAfter(10000));
            milestones_.emplace_back(passes, figures);
        }
        std::printf("after %d passes: resident %ld KiB, heap in use %ld KiB, descriptors %d%s%s\n",
                    passes, figures.residentKiB, figures.heapInUseKiB, figures.descriptors,
                    lines.c_str(), change.c_str());
        std::fflush(stdout);
    }

    ProcessFigures figuresAfter(int passes) const {
        for (const auto& [reached, figures] : milestones_)
            if (reached == passes) return figures;
        return {};
    }

    static constexpr int kTimedPasses = 1000;
    tvr::testing::RunState& window_;
    const int passes_;
    tvr::ui::TFormDumpLoad* const shown_;
    int count_ = 0;
    Clock::time_point passStart_;
    Clock::time_point sleepStart_;
    Clock::duration blockedAtStart_{};
    std::vector<Clock::duration> own_;
    std::vector<Clock::duration> gap_;
    std::vector<Clock::duration> cpu_;
    Clock::duration cpuAtStart_{};
    std::vector<std::pair<int, ProcessFigures>> milestones_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool ended_ = false;
};

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Median and 99th percentile of the first `n` values, in microseconds.
std::pair<double, double> medianAnd99th(std::vector<Clock::duration> values, std::size_t n) {
    values.resize(std::min(n, values.size()));
    std::sort(values.begin(), values.end());
    if (values.empty()) return {0, 0};
    const auto at = [&](double q) {
        return microseconds(
            values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))]);
    };
    return {at(0.5), at(0.99)};
}

}  // namespace

int main(int argc, char** argv) {
    int passes = 10000;
    bool withWindow = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--window")
            withWindow = true;
        else
            passes = std::atoi(argv[i]);
    }
    if (passes <= 1000) {
        std::fprintf(stderr, "usage: worker_bench [passes] [--window], more than 1000 passes\n");
        return 2;
    }
    if (withWindow && !std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char qtName[] = "worker_bench";
    char* qtArgv[] = {qtName, nullptr};
    std::unique_ptr<QApplication> app;
    std::unique_ptr<tvr::ui::TFormDumpLoad> shown;
    if (withWindow) {
        app = std::make_unique<QApplication>(qtArgc, qtArgv);
        shown = std::make_unique<tvr::ui::TFormDumpLoad>();
        shown->show();
        tvr::client::setLogView(&shown->activitySink());
        tvr::client::setErrorLogView(&shown->errorSink());
    }
    // aseemu sits beside this program unless TVR_BIN_DIR says otherwise.
    tvr::bench::findEmulatorBesideThisProgram();
    const fs::path dir =
        fs::temp_directory_path() / ("tvr-worker-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "dumps");

    tvr::testing::Emulator main("BENCHMAIN", {"sales"});
    tvr::testing::Emulator reserve("BENCHRESERVE", {"sales_copy"});

    tvr::testing::RunState window;
    // A table with rows, and the full dump and load that transaction passes build on.
    tvr::bench::logOnForShipping(window, main, reserve, dir, 100);
    auto& mainConnection = *window.connections.MainConnection;
    const std::string folder = (dir / "dumps").string();
    mainConnection.Execute("use master");
    mainConnection.Execute(spTvrCallStatement(TRS_dump_load{0, "sales", 1, 0, folder, "base.db"}));
    window.connections.ReserveConnection->Execute("use master");
    window.connections.ReserveConnection->Execute(
        spTvrCallStatement(TRS_dump_load{0, "sales_copy", 0, 1, folder, "base.db"}));

    tvr::testing::ScriptedProcessingHost host(window.connections);
    host.setStartSettings(TStartSettings{false, "sales", folder, "sales_copy", folder});
    host.setPassSettings(TPassSettings{true, false, "00:00"});
    TimingDisplay display(window, passes, shown.get());
    const tvr::client::LogViews views =
        shown ? tvr::client::LogViews{&shown->activitySink(), &shown->errorSink()}
              : tvr::client::LogViews{};
    TProcessingControl control(window.connections, window.flags, window.worker, display, host,
                               views);

    const auto start = Clock::now();
    control.StartProcessing();
    if (app) QApplication::exec();
    display.waitForEnd();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    window.worker->WaitFor();
    const ProcessFigures last = processFigures();

    const auto [ownMedian, own99] = medianAnd99th(display.own(), 1000);
    const auto [gapMedian, gap99] = medianAnd99th(display.gap(), 1000);
    const auto [cpuMedian, cpu99] = medianAnd99th(display.cpu(), 1000);
    std::printf(
        "%d transaction passes in %.1f s (interval off, each file deleted after its load)\n",
        passes, seconds);
    std::printf("own time per pass, first 1000:  median %8.1f us   99th percentile %8.1f us\n",
                ownMedian, own99);
    std::printf("  of it on a processor:        median %8.1f us   99th percentile %8.1f us\n",
                cpuMedian, cpu99);
    std::printf("idle gap between passes:        median %8.1f us   99th percentile %8.1f us\n",
                gapMedian, gap99);
    std::printf("display: %s\n", shown ? "the main window, shown, following the log" : "none");
    std::printf("after the last pass (%d): resident %ld KiB, heap in use %ld KiB, descriptors %d\n",
                passes, last.residentKiB, last.heapInUseKiB, last.descriptors);
    // Only a run that went past 10,000 passes has that figure to compare with.
    if (passes > 10000)
        std::printf("resident memory after %d passes against after 10000: %s\n", passes,
                    TimingDisplay::residentChange(last, display.after10000()).c_str());
    if (shown) {
        std::printf("lines in the views: %zu activity, %zu errors\n",
                    shown->activityView()->lineCount(), shown->errorView()->lineCount());
        tvr::client::setLogView(nullptr);
        tvr::client::setErrorLogView(nullptr);
    }

    window.worker.StopAndFree();
    window.connections.MainConnection.reset();
    window.connections.ReserveConnection.reset();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
