// Splits the input at NUL bytes into parameters, lays them out as main's argv does, and
// checks the command line: the parameters taken are the ones given, the result agrees
// with them, and no password character is left in the argument memory.
#include "config/CommandLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool passwordPrefix(const std::string& p) {
    if (p.size() < 3) return false;
    const char c = p[0] == 'p' ? 'P' : p[0];
    return c == 'P' && (p[1] == '1' || p[1] == '2') && p[2] == ':';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> given;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            given.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size > 0) given.push_back(current);

    // One block of memory, as the kernel hands argv to a process.
    std::string memory = "tvr";
    memory += '\0';
    for (const std::string& p : given) {
        memory += p;
        memory += '\0';
    }
    std::vector<char*> argv;
    for (std::size_t at = 0; at < memory.size(); at += std::strlen(memory.data() + at) + 1)
        argv.push_back(memory.data() + at);
    argv.push_back(nullptr);

    const std::vector<std::string> taken =
        tvr::config::takeCommandLine(static_cast<int>(argv.size() - 1), argv.data());
    if (taken != given) std::abort();
    for (std::size_t i = 0; i < given.size(); ++i) {
        const std::string left(argv[i + 1]);
        if (left.size() != given[i].size()) std::abort();
        if (passwordPrefix(given[i]) && left.find_first_not_of('*', 3) != std::string::npos)
            std::abort();
        if (!passwordPrefix(given[i]) && left != given[i]) std::abort();
    }

    const tvr::config::CommandLineValues values = tvr::config::parseCommandLine(taken);
    const bool automatic = values.result == tvr::config::kAutomaticLogon;
    if (automatic && (given.empty() || given.size() > 3 || !values.mainPassword)) std::abort();
    if ((values.result == tvr::config::kNoMainPassword) == values.mainPassword.has_value())
        std::abort();
    if (values.result == 0 && given.size() <= 3 && !given.empty()) std::abort();
    return 0;
}
