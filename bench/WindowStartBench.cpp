// Start-up of the main window with a large activity log: the time from the start of the
// process until the window is on screen with the log loaded and painted, and the process's
// peak memory against the size of the log file and, of the memory, what the log added against
// the bytes of the lines the view keeps (a view keeps only its newest lines). Writes a log of realistic entries first
// (1,000,000 lines by default, about 80 MB), then measures in a fresh child process so the
// writing costs nothing in the figures.
//
//   window_start_bench [lines]
#include "EventLoopHolds.h"

#include "client/LogSink.h"
#include "ui/FormDumpLoad.h"
#include "ui/LogView.h"

#include <QApplication>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A day of a busy standby: informational messages with their time, error records with their
// markers, procedure notices, client messages.
std::uintmax_t writeLog(const std::string& path, long lines) {
    std::ofstream out(path, std::ios::binary);
    std::string entry;
    long written = 0;
    for (long i = 0; written < lines; ++i) {
        const int h = int(i / 3600 % 24), m = int(i / 60 % 60), s = int(i % 60);
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", h, m, s);
        switch (i % 10) {
            case 0:
            case 1:
            case 2:
            case 3:
                entry =
                    "Backup Server: 4.41.1.1: Database sales: " + std::to_string(2048 + i % 977) +
                    " kilobytes DUMPed.  " + time + "\r\n";
                written += 1;
                break;
            case 4:
            case 5:
                entry = "Backup Server session id is: " + std::to_string(i % 100) +
                        ".  Use this value when executing the 'sp_volchanged' procedure.  " + time +
                        "\r\n";
                written += 1;
                break;
            case 6:
                entry = "\r\n$Err$\r\n$Err$Error: Time: " + std::string(time) +
                        ";  number 4305;  severity 16;  state 1;  line 1\r\n$Err$Specified file "
                        "'/dumps/sales.tr' is out of sequence. Current time stamp is Dec  7 2026.";
                written += 3;
                break;
            case 7:
                entry = "\r\n$Mess$\r\n$Mess$Error: Time: " + std::string(time) +
                        ";  number 2007;  severity 11;  state 1;  line 12\r\n$Mess$Cannot add "
                        "rows to sysdepends for the current stored procedure.";
                written += 3;
                break;
            case 8:
                entry =
                    "$Err$ct_connect(): network packet layer: internal net library error: "
                    "Net-Lib protocol driver call to connect two endpoints failed\r\n";
                written += 1;
                break;
            default:
                entry = "Backup Server: 3.42.1.1: LOAD is complete (database sales_copy).  " +
                        std::string(time) + "\r\n";
                written += 1;
                break;
        }
        out << entry;
    }
    out.close();
    return std::filesystem::file_size(path);
}

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int measure(const char* path, long total, const std::chrono::steady_clock::time_point start) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "window_start_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    bool painted = false;
    {
        tvr::ui::TFormDumpLoad window;
        tvr::ui::TLogView* view = window.activityView();
        tvr::client::setLogView(&window.activitySink());
        const long before = tvr::bench::processFigures().residentKiB;
        window.LoadLogFile(path);
        struct PaintProbe : QObject {
            bool* painted;
            explicit PaintProbe(bool* p) : painted(p) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) *painted = true;
                return false;
            }
        } probe(&painted);
        view->viewport()->installEventFilter(&probe);
        window.show();
        while (!painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const std::chrono::duration<double> shown = std::chrono::steady_clock::now() - start;
        const long first = long(view->lineCount());

        // The rest of the lines come behind: the longest hold of the GUI thread meanwhile, as
        // the gaps between the ticks of a one-millisecond timer show it.
        tvr::bench::EventLoopHolds holds;
        holds.start();
        // All the lines the view keeps: the note and the newest lines up to its limit.
        const long all = long(std::min<std::size_t>(std::size_t(total), view->lineLimit() + 1));
        long lines = first;
        for (const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
             lines < all && std::chrono::steady_clock::now() < giveUp;) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            lines = long(view->lineCount());
        }
        holds.stop();
        const std::chrono::duration<double> loaded = std::chrono::steady_clock::now() - start;
        const long peak = peakKilobytes();
        const bool atEnd = view->atEnd();
        // The bytes of the lines kept, each with the CR LF it has in the file.
        const std::size_t kept = view->text().size() + 1 + std::size_t(lines);
        std::printf("%.3f %ld %ld %d %ld %zu %ld %.3f %.1f\n", shown.count(), peak, lines,
                    atEnd ? 1 : 0, peak - before, kept, first, loaded.count(),
                    holds.longestCpuMs());
        tvr::client::setLogView(nullptr);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    if (argc == 4 && std::string(argv[1]) == "--measure")
        return measure(argv[2], std::atol(argv[3]), start);

    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    char pattern[] = "/tmp/tvr-startbench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string log = std::string(pattern) + "/sales07122026.log";
    const std::uintmax_t size = writeLog(log, lines);

    int pipefd[2];
    if (::pipe(pipefd) != 0) return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipefd[1], STDOUT_FILENO);
        ::execl("/proc/self/exe", argv[0], "--measure", log.c_str(), std::to_string(lines).c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipefd[1]);
    char buffer[256] = {};
    const ssize_t got = ::read(pipefd[0], buffer, sizeof buffer - 1);
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::filesystem::remove_all(pattern);
    double seconds = 0, loadedSeconds = 0, longestMs = 0;
    long peak = 0, shown = 0, added = 0, first = 0;
    std::size_t kept = 0;
    int atEnd = 0;
    if (got <= 0 ||
        std::sscanf(buffer, "%lf %ld %ld %d %ld %zu %ld %lf %lf", &seconds, &peak, &shown, &atEnd,
                    &added, &kept, &first, &loadedSeconds, &longestMs) != 9) {
        std::fprintf(stderr, "the measuring process failed\n");
        return 1;
    }
    const double fileMb = double(size) / 1e6;
    const double peakMb = double(peak) * 1024 / 1e6;
    const double keptMb = double(kept) / 1e6;
    const double addedMb = double(added) * 1024 / 1e6;
    std::printf("log file:            %ld lines, %.1f MB; %ld lines in the view (%.1f MB)\n", lines,
                fileMb, shown, keptMb);
    std::printf("start until shown:   %.3f s with %ld lines (target 0.3 s)\n", seconds, first);
    std::printf(
        "all lines in:        %.3f s; longest GUI hold meanwhile %.1f ms of its processor "
        "time (target < 16)\n",
        loadedSeconds, longestMs);
    std::printf("peak memory:         %.1f MB = %.2f x the file\n", peakMb, peakMb / fileMb);
    std::printf("added by the log:    %.1f MB = %.2f x the lines kept (target <= 1.5)\n", addedMb,
                keptMb > 0 ? addedMb / keptMb : 0.0);
    std::printf("view at its end:     %s\n", atEnd ? "yes" : "no");
    return 0;
}
