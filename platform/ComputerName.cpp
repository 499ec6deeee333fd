#include "platform/ComputerName.h"

#include <unistd.h>

#include <climits>

namespace tvr::platform {

std::string computerNameFrom(const std::string& hostName) {
    const std::string name = hostName.substr(0, hostName.find('\0'));
    if (name.size() + 1 > kComputerNameBuffer) return {};
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    std::size_t b = 0, e = name.size();
    while (b < e && blank(name[b])) ++b;
    while (e > b && blank(name[e - 1])) --e;
    return name.substr(b, e - b);
}

std::string computerName() {
    char buf[HOST_NAME_MAX + 2] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) return {};
    return computerNameFrom(buf);
}

}  // namespace tvr::platform
