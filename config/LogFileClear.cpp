#include "config/LogFileClear.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace tvr::config {

void clearLogFile(const std::string& path) {
    if (path.empty()) return;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw std::runtime_error("Unable open ErrorLog: " + path +
                                 "\n                       Check attribute ReadOnly");
    ::close(fd);
}

}  // namespace tvr::config
