#pragma once
// What a long run watches for growth: the process's resident memory, its heap in use and its
// open descriptors; and a thread's processor time, which a busy machine does not inflate.
#include <malloc.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tvr::bench {

struct ProcessFigures {
    long residentKiB = 0;
    long heapInUseKiB = 0;
    int descriptors = 0;
};

inline ProcessFigures processFigures() {
    ProcessFigures figures;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) figures.residentKiB = std::atol(line.c_str() + 6);
    figures.heapInUseKiB = static_cast<long>(::mallinfo2().uordblks / 1024);
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++figures.descriptors;
    return figures;
}

// The processor time of the calling thread, in nanoseconds.
inline long long threadCpuNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace tvr::bench
