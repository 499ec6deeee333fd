// Lines appended to the Activity view from another thread, as the worker's log entries reach
// it: the longest time the GUI thread's event loop is held while they arrive. A timer on the
// GUI thread ticks every millisecond; the largest gap between two ticks is the longest hold,
// as the clock on the wall sees it (which includes any time the system gave the GUI thread's
// core to other processes) and as the GUI thread's own processor time counts it. Also the
// appending thread's wall time per line and the GUI thread's processor time per line. Every
// 200,000 lines, the process's resident memory and heap in use: once the view holds its
// limit of lines (200,000), they should stay where they are however many more come.
//
//   log_append_bench [lines] [--wrap]   (--wrap: the views wrap long lines, View > Wrap lines)
#include "EventLoopHolds.h"
#include "bench/ProcessFigures.h"

#include "client/LogSink.h"
#include "client/LogWriter.h"
#include "ui/FormDumpLoad.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

void printMemory(long lines) {
    const auto figures = tvr::bench::processFigures();
    std::printf("after %ld lines: resident %ld KiB, heap in use %ld KiB\n", lines,
                figures.residentKiB, figures.heapInUseKiB);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 100000;
    const bool wrap = argc > 2 && std::string(argv[2]) == "--wrap";
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char pattern[] = "/tmp/tvr-appendbench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string log = std::string(pattern) + "/sales07122026.log";

    int qtArgc = 1;
    char name[] = "log_append_bench";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    tvr::ui::TFormDumpLoad window;
    window.show();
    window.activityView()->setWrapLines(wrap);
    window.BindLogViews();  // the views as the client layer's sinks

    tvr::bench::EventLoopHolds holds;
    std::atomic<bool> done{false};
    QEventLoop loop;
    const qint64 guiCpuAtStart = tvr::bench::threadCpuNanoseconds();
    holds.start();
    const auto begin = std::chrono::steady_clock::now();
    std::thread worker([&] {
        for (long i = 0; i < lines; ++i) {
            if (i > 0 && i % 200000 == 0) printMemory(i);
            if (i % 5 == 4)
                tvr::client::PrintToLog(
                    "$Err$ct_cmd_send(): network packet layer: line " + std::to_string(i), log);
            else
                tvr::client::PrintToLog("Backup Server: 4.41.1.1: Database sales: " +
                                            std::to_string(i) + " kilobytes DUMPed.  12:00:01",
                                        log);
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
    holds.stop();
    // The lines still waiting for their frame reach the screen too.
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    const double guiCpuPerLine =
        double(tvr::bench::threadCpuNanoseconds() - guiCpuAtStart) / 1e3 / double(lines);
    const long shown = long(window.activityView()->lineCount());
    tvr::client::setLogView(nullptr);
    tvr::client::setErrorLogView(nullptr);
    std::filesystem::remove_all(pattern);

    std::printf("lines appended:        %ld from another thread (%ld in the view%s)\n", lines,
                shown, wrap ? ", wrapped" : "");
    std::printf("time for all:          %.2f s (%.1f us a line, file write included)\n",
                spent.count(), spent.count() * 1e6 / double(lines));
    std::printf("GUI thread per line:   %.1f us of its processor time (ticks included)\n",
                guiCpuPerLine);
    std::printf(
        "longest event-loop hold: %.1f ms of the GUI thread's processor time "
        "(target < 16 ms)\n",
        holds.longestCpuMs());
    std::printf("longest gap on the wall clock: %.1f ms, %lld timer ticks\n", holds.longestMs(),
                static_cast<long long>(holds.ticks()));
    printMemory(lines);
    const long kept = std::min<long>(lines, tvr::ui::TLogView::kDefaultLineLimit);
    return shown == kept + (lines > kept ? 1 : 0) ? 0 : 1;
}
