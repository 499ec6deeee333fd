// Start-up of the main window with a large activity log: the time from the start of the
// process until the window is on screen with the log loaded and painted, and the process's
// peak memory against the size of the log file. Writes a log of realistic entries first
// (1,000,000 lines by default, about 80 MB), then measures in a fresh child process so the
// writing costs nothing in the figures.
//
//   window_start_bench [lines]
#include "client/LogSink.h"
#include "ui/FormDumpLoad.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QElapsedTimer>

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

int measure(const char* path, const std::chrono::steady_clock::time_point start) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "window_start_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    long lines = 0;
    bool painted = false;
    {
        tvr::ui::TFormDumpLoad window;
        tvr::client::SetLogView(&window.activitySink());
        window.LoadLogFile(path);
        lines = long(window.activityView()->lineCount());
        struct PaintProbe : QObject {
            bool* painted;
            explicit PaintProbe(bool* p) : painted(p) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) *painted = true;
                return false;
            }
        } probe(&painted);
        window.activityView()->viewport()->installEventFilter(&probe);
        window.show();
        while (!painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        std::printf("%.3f %ld %ld %d\n", spent.count(), peakKilobytes(), lines,
                    window.activityView()->atEnd() ? 1 : 0);
        tvr::client::SetLogView(nullptr);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    if (argc == 3 && std::string(argv[1]) == "--measure") return measure(argv[2], start);

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
        ::execl("/proc/self/exe", argv[0], "--measure", log.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipefd[1]);
    char buffer[256] = {};
    const ssize_t got = ::read(pipefd[0], buffer, sizeof buffer - 1);
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::filesystem::remove_all(pattern);
    double seconds = 0;
    long peak = 0, shown = 0;
    int atEnd = 0;
    if (got <= 0 || std::sscanf(buffer, "%lf %ld %ld %d", &seconds, &peak, &shown, &atEnd) != 4) {
        std::fprintf(stderr, "the measuring process failed\n");
        return 1;
    }
    const double fileMb = double(size) / 1e6;
    const double peakMb = double(peak) * 1024 / 1e6;
    std::printf("log file:            %ld lines, %.1f MB\n", shown, fileMb);
    std::printf("start until shown:   %.3f s (target 1.5 s)\n", seconds);
    std::printf("peak memory:         %.1f MB = %.2f x the file (target < 3)\n", peakMb,
                peakMb / fileMb);
    std::printf("view at its end:     %s\n", atEnd ? "yes" : "no");
    return 0;
}
