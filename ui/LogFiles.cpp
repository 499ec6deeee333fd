#include "ui/LogFiles.h"

#include "client/LogWriter.h"
#include "client/TextLines.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <system_error>

namespace tvr::ui {
namespace {

constexpr const char* kCheckReadOnly = "\n                       Check attribute ReadOnly";
constexpr std::uint64_t kFirstGuessPerLine = 128;
// The newest lines of a log, shown before the window appears: more than a screen holds.
constexpr std::size_t kFirstLines = 500;
// The older lines are taken apart in pieces of about this size, each its own chunk, so that
// a stop is noticed soon and the oldest piece can be freed once all its lines are gone.
constexpr std::size_t kPieceBytes = std::size_t{4} << 20;

// The end of a log file, up to `endAt`.
struct LogTail {
    std::string bytes;
    std::uint64_t start = 0;  // where the bytes begin in the file
};

// The last `lines` lines before `endAt` (all there are when fewer), or the whole file when
// `lines` is 0. Only the end of a long file is read: a guess of its size first, twice as much
// each time the guess falls short.
std::optional<LogTail> readLastLines(const std::string& path, std::size_t lines,
                                     std::uint64_t endAt = UINT64_MAX) {
    LogTail tail;
    if (lines == 0) {
        std::optional<std::string> bytes = platform::readFileEnd(path, UINT64_MAX, endAt);
        if (!bytes) return std::nullopt;
        tail.bytes = std::move(*bytes);
        return tail;
    }
    const std::size_t wanted = lines;
    for (std::uint64_t guess = std::max<std::uint64_t>(wanted * kFirstGuessPerLine, 65536);;
         guess *= 2) {
        std::optional<std::string> bytes = platform::readFileEnd(path, guess, endAt, &tail.start);
        if (!bytes) return std::nullopt;
        tail.bytes = std::move(*bytes);
        // Unless the file's start came, the first line read may be cut: it does not count.
        std::vector<std::size_t> starts;
        client::forEachLine(tail.bytes, [&](std::string_view line) {
            starts.push_back(std::size_t(line.data() - tail.bytes.data()));
        });
        const std::size_t complete = starts.size() - (tail.start > 0 && !starts.empty() ? 1 : 0);
        if (complete >= wanted) {
            const std::size_t cut = starts[starts.size() - wanted];
            tail.bytes.erase(0, cut);
            tail.start += cut;
            return tail;
        }
        if (tail.start == 0) return tail;
    }
}

// The lines of a log's bytes, taken apart in pieces; none once `stop` is asked.
TLogLines takeApart(std::string bytes, const std::stop_token& stop) {
    TLogLines lines;
    std::size_t from = 0;
    while (from < bytes.size() && !stop.stop_requested()) {
        std::size_t to = std::min(from + kPieceBytes, bytes.size());
        // A piece ends after a line end (LF, or CR not followed by LF).
        while (to < bytes.size() && bytes[to - 1] != '\n' &&
               !(bytes[to - 1] == '\r' && bytes[to] != '\n'))
            ++to;
        lines.appendFile(bytes.substr(from, to - from));
        from = to;
    }
    if (stop.stop_requested()) return TLogLines();
    return lines;
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
    // The older lines within the limit follow on another thread, in front of the newest.
    const std::uint64_t end = newest->start;
    view.loadOlderLines(at, [path, end, lines = wanted - first](const std::stop_token& stop) {
        try {
            std::optional<LogTail> older = readLastLines(path, lines, end);
            if (older) return takeApart(std::move(older->bytes), stop);
        } catch (const std::system_error&) {
            // Gone or unreadable since the newest lines were read: they stay alone.
        }
        return TLogLines();
    });
}

void ClearLogFile(const std::string& path, TLogView& view) {
    view.clear();
    try {
        client::EmptyLogFile(path);
    } catch (const client::LogFileError& error) {
        throw LogViewError(error.what());
    }
}

}  // namespace tvr::ui
