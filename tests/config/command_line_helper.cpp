// Takes its command line as the program does, prints the parameters taken and then its own
// /proc/self/cmdline (NULs shown as '|'), and waits to be killed so that the test can read
// the process list from outside as well.
#include "config/CommandLine.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    const std::vector<std::string> taken = tvr::config::takeCommandLine(argc, argv);
    std::string line = "taken ";
    for (const std::string& p : taken) line += p + "|";
    std::printf("%s\n", line.c_str());
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string shown((std::istreambuf_iterator<char>(in)), {});
    for (char& c : shown)
        if (c == '\0') c = '|';
    std::printf("%s\n", shown.c_str());
    std::fflush(stdout);
    for (;;) ::pause();
}
