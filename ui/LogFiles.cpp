#include "ui/LogFiles.h"

#include "client/LogWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tvr::ui {
namespace {

constexpr const char* kCheckReadOnly = "\n                       Check attribute ReadOnly";

// The whole file, read with one allocation of its size, so a large log costs no more than
// its bytes while it loads.
bool readWhole(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() + 65536);  // the file grew
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return true;
}

}  // namespace

void LoadLogFile(const std::string& path, TLogView& view) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        view.clear();
        return;
    }
    std::string bytes;
    if (!readWhole(path, bytes)) throw LogViewError("Unable open Log: " + path + kCheckReadOnly);
    view.appendFileBytes(std::move(bytes));
}

void ClearLogFile(const std::string& path, TLogView& view) {
    view.clear();
    // Opened for writing without O_TRUNC first, so that a file that refuses writing is left
    // exactly as it was; then cut to nothing.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw LogViewError(client::UnableOpenLogText(path));
    const int cut = ::ftruncate(fd, 0);
    ::close(fd);
    if (cut != 0) throw LogViewError(client::UnableOpenLogText(path));
}

}  // namespace tvr::ui
