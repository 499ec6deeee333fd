#include "sim/backup/FileCopy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tvr::sim {
namespace {

// Pieces of write-back started at a time: large enough for the disk to stream them, small enough
// that the flush at the end finds little left.
constexpr std::uint64_t kWritebackStep = 8u << 20;

std::int64_t copyByReading(int from, std::uint64_t fromAt, int to, std::uint64_t toAt,
                           std::uint64_t size, int& err) {
    std::vector<char> buf(static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 20)));
    std::uint64_t done = 0;
    while (done < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - done));
        const ssize_t got = ::pread(from, buf.data(), want, static_cast<off_t>(fromAt + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            err = errno;
            return -1;
        }
        if (got == 0) break;
        std::size_t put = 0;
        while (put < static_cast<std::size_t>(got)) {
            const ssize_t n = ::pwrite(to, buf.data() + put, static_cast<std::size_t>(got) - put,
                                       static_cast<off_t>(toAt + done + put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                err = n < 0 ? errno : EIO;
                return -1;
            }
            put += static_cast<std::size_t>(n);
        }
        done += static_cast<std::uint64_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

// Where a file cannot be mapped.
bool checksumByReading(int fd, std::uint64_t at, std::size_t size, Crc32& crc, int& err) {
    std::vector<unsigned char> buf(std::min<std::size_t>(size, 1u << 20));
    while (size > 0) {
        const ssize_t n =
            ::pread(fd, buf.data(), std::min(size, buf.size()), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            return false;
        }
        crc.update(buf.data(), static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::int64_t copyBetweenFiles(int from, std::uint64_t fromAt, int to, std::uint64_t toAt,
                              std::uint64_t size, int& err) {
    std::uint64_t done = 0;
    while (done < size) {
        auto in = static_cast<off_t>(fromAt + done);
        auto out = static_cast<off_t>(toAt + done);
        const ssize_t n = ::copy_file_range(from, &in, to, &out, size - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == ETXTBSY)) {
            const std::int64_t rest =
                copyByReading(from, fromAt + done, to, toAt + done, size - done, err);
            return rest < 0 ? -1 : static_cast<std::int64_t>(done) + rest;
        }
        if (n < 0) {
            err = errno;
            return -1;
        }
        if (n == 0) break;  // the source ends here
        done += static_cast<std::uint64_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

void EarlyWriteback::writtenUpTo(std::uint64_t end) {
    if (end < started_ + kWritebackStep) return;
    // Only a hint to the kernel: where it is refused, the final flush writes it all.
    ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(end - started_),
                      SYNC_FILE_RANGE_WRITE);
    started_ = end;
}

bool checksumFileRange(int fd, std::uint64_t at, std::size_t size, Crc32& crc, int& err) {
    if (size == 0) return true;
    static const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = at - at % page;
    const auto length = static_cast<std::size_t>(at - start) + size;
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, fd,
                       static_cast<off_t>(start));
    if (map == MAP_FAILED) return checksumByReading(fd, at, size, crc, err);
    crc.update(static_cast<const unsigned char*>(map) + (at - start), size);
    ::munmap(map, length);
    return true;
}

}  // namespace tvr::sim
