#include "ui/LogFiles.h"

#include "client/LogWriter.h"
#include "client/TextLines.h"
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <span>
#include <system_error>

namespace tvr::ui {
namespace {

constexpr const char* kCheckReadOnly = "\n                       Check attribute ReadOnly";
// The newest lines of a log, shown before the window appears: more than a screen holds.
constexpr std::size_t kFirstLines = 500;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    int fd() const { return fd_; }

    // Fills `into` from `at` on; short only at the file's end.
    std::size_t readAt(std::uint64_t at, std::span<char> into) const {
        std::size_t got = 0;
        while (got < into.size()) {
            const ssize_t n =
                ::pread(fd_, into.data() + got, into.size() - got, static_cast<off_t>(at + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throwErrno("cannot read");
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    int fd_;
};

// Where the last `lines` lines before `endAt` begin in a regular file (0 when it has fewer;
// lines as client::forEachLine takes them apart), and where they end: `endAt`, or the file's
// end when that comes first. The file is walked backwards in small blocks and nothing of it is
// kept, so that the lines themselves are then read once, into a buffer of their exact size.
// Nothing for a missing file; `start` 0 and `end` UINT64_MAX for one that is no regular file.
struct LinesSpan {
    std::uint64_t start = 0;
    std::uint64_t end = UINT64_MAX;
};

std::optional<LinesSpan> findLastLines(const std::string& path, std::size_t lines,
                                       std::uint64_t endAt) {
    const ReadOnlyFile file(path);
    if (file.fd() < 0) {
        if (errno == ENOENT) return std::nullopt;
        throwErrno("cannot open");
    }
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0) throwErrno("cannot read");
    if (!S_ISREG(info.st_mode)) return LinesSpan{};
    LinesSpan span{0,
                   std::min(endAt, static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0)))};
    if (lines == 0) return span;
    std::array<char, 65536> block;
    std::size_t found = 0;
    int following = -1;  // the byte after the block, when one was read
    for (std::uint64_t high = span.end; high > 0;) {
        const std::uint64_t low = high > block.size() ? high - block.size() : 0;
        const std::size_t size = static_cast<std::size_t>(high - low);
        if (file.readAt(low, std::span(block.data(), size)) < size) break;  // cut meanwhile
        // A line begins at `at` after a line feed, or after a carriage return that no line
        // feed follows; the lines from there to the end are the line starts passed so far.
        for (std::uint64_t at = high; at > low; --at) {
            if (at == span.end) continue;
            const char before = block[at - 1 - low];
            const int next = at < high ? block[at - low] : following;
            if ((before == '\n' || (before == '\r' && next != '\n')) && ++found == lines) {
                span.start = at;
                return span;
            }
        }
        following = block[0];
        high = low;
    }
    return span;
}

// The end of a log file: the last `lines` lines before `endAt` (all there are when fewer), or
// the whole file when `lines` is 0.
struct LogTail {
    std::string bytes;
    std::uint64_t start = 0;  // where the bytes begin in the file
};

std::optional<LogTail> readLastLines(const std::string& path, std::size_t lines,
                                     std::uint64_t endAt = UINT64_MAX) {
    const std::optional<LinesSpan> span = findLastLines(path, lines, endAt);
    if (!span) return std::nullopt;
    LogTail tail;
    std::optional<std::string> bytes =
        platform::readFileEnd(path, span->end - span->start, span->end, &tail.start);
    if (!bytes) return std::nullopt;
    tail.bytes = std::move(*bytes);
    if (span->end == UINT64_MAX && lines > 0) {
        // No regular file: all of it was read; its last lines are kept.
        std::size_t count = 0, index = 0, cut = 0;
        client::forEachLine(tail.bytes, [&](std::string_view) { ++count; });
        client::forEachLine(tail.bytes, [&](std::string_view line) {
            if (count > lines && index++ == count - lines)
                cut = std::size_t(line.data() - tail.bytes.data());
        });
        tail.bytes.erase(0, cut);
        tail.start += cut;
    }
    return tail;
}

}  // namespace

void LoadLogFile(const std::string& path, TLogView& view) {
    // One line more than the view keeps, when the file has it, tells the view that there are
    // earlier lines.
    const std::size_t limit = view.lineLimit();
    const std::size_t wanted = limit == 0 ? 0 : limit + 1;
    const std::size_t first = std::min(wanted, kFirstLines);
    std::optional<LogTail> newest;
    try {
        newest = readLastLines(path, first);
    } catch (const std::system_error&) {
        throw LogViewError("Unable open Log: " + path + kCheckReadOnly);
    }
    if (!newest) {
        view.clear();
        return;
    }
    const std::size_t at = view.lineCount();
    view.appendFileBytes(std::move(newest->bytes));
    if (newest->start == 0 || first == wanted) return;
    // The older lines within the limit follow on another thread, in front of the newest; the
    // bytes read become the lines' chunk as they are, compacted in place.
    const std::uint64_t end = newest->start;
    view.loadOlderLines(at, [path, end, lines = wanted - first](const std::stop_token& stop) {
        TLogLines older;
        try {
            std::optional<LogTail> tail = readLastLines(path, lines, end);
            if (tail && !stop.stop_requested()) older.appendFile(std::move(tail->bytes));
        } catch (const std::system_error&) {
            // Gone or unreadable since the newest lines were read: they stay alone.
        }
        return older;
    });
}

void clearLogFile(const std::string& path, TLogView& view) {
    view.clear();
    try {
        client::emptyLogFile(path);
    } catch (const client::LogFileError& error) {
        throw LogViewError(error.what());
    }
}

}  // namespace tvr::ui
