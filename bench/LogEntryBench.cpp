// Cost of one log entry: each entry opens the file, appends and closes it again, so that no
// log stays open between entries. Prints the time per entry for the two common kinds.
#include "client/LogWriter.h"
#include "platform/RegionalSettings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

template <typename F>
double microsecondsPerCall(int count, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) f();
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    return spent.count() / count;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    char pattern[] = "/tmp/tvr-logbench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::filesystem::path dir = pattern;
    const std::string file = (dir / "bench.log").string();

    const double info = microsecondsPerCall(count, [&] {
        tvr::client::PrintToLog(
            "Backup Server: 4.41.1.1: Database sales: 2048 kilobytes DUMPed.  12:00:01", file);
    });

    CS_SERVERMSG message;
    std::memset(&message, 0, sizeof message);
    message.msgnumber = 4305;
    message.severity = 16;
    message.state = 1;
    message.line = 1;
    std::strcpy(message.text, "Specified file is out of sequence.\n");
    const double record =
        microsecondsPerCall(count, [&] { tvr::client::WriteErrorRecord(message, file, false); });

    std::printf("log entries: %d each kind, file of %ju bytes\n", count,
                static_cast<std::uintmax_t>(std::filesystem::file_size(file)));
    std::printf("informational entry (open, append, close): %.2f us\n", info);
    std::printf("error record (open, append, close):        %.2f us\n", record);
    std::filesystem::remove_all(dir);
    return 0;
}
