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

// The end of a log file, up to `endAt`.
struct LogTail {
    std::string bytes;
    std::uint64_t start = 0;  // where the bytes begin in the file
};

// The last `lines` lines before `endAt` (all there are when fewer), or the whole file when
// `lines` is 0. Only the end of a long file is read: a guess of its size first (`perLine`
// bytes a line), twice as much each time the guess falls short.
std::optional<LogTail> readLastLines(const std::string& path, std::size_t lines,
                                     std::uint64_t endAt = UINT64_MAX,
                                     std::uint64_t perLine = kFirstGuessPerLine) {
    LogTail tail;
    if (lines == 0) {
        std::optional<std::string> bytes = platform::readFileEnd(path, UINT64_MAX, endAt);
        if (!bytes) return std::nullopt;
        tail.bytes = std::move(*bytes);
        return tail;
    }
    const std::size_t wanted = lines;
    for (std::uint64_t guess = std::max<std::uint64_t>(wanted * perLine, 65536);; guess *= 2) {
        std::optional<std::string> bytes = platform::readFileEnd(path, guess, endAt, &tail.start);
        if (!bytes) return std::nullopt;
        tail.bytes = std::move(*bytes);
        // Unless the file's start came, the first line read may be cut: it does not count.
        std::size_t count = 0;
        client::forEachLine(tail.bytes, [&](std::string_view) { ++count; });
        const std::size_t complete = count - (tail.start > 0 && count > 0 ? 1 : 0);
        if (complete >= wanted) {
            std::size_t index = 0, cut = 0;
            client::forEachLine(tail.bytes, [&](std::string_view line) {
                if (index++ == count - wanted) cut = std::size_t(line.data() - tail.bytes.data());
            });
            tail.bytes.erase(0, cut);
            tail.start += cut;
            return tail;
        }
        if (tail.start == 0) return tail;
    }
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
    const std::size_t newestBytes = newest->bytes.size();
    view.appendFileBytes(std::move(newest->bytes));
    if (newest->start == 0 || first == wanted) return;
    // The older lines within the limit follow on another thread, in front of the newest.
    // The newest lines tell how long a line of this log is, so that little more than the lines
    // wanted is read: the bytes read become the lines' chunk as they are, compacted in place.
    const std::uint64_t perLine = newestBytes / first * 9 / 8 + 1;
    const std::uint64_t end = newest->start;
    view.loadOlderLines(
        at, [path, end, perLine, lines = wanted - first](const std::stop_token& stop) {
            TLogLines older;
            try {
                std::optional<LogTail> tail = readLastLines(path, lines, end, perLine);
                if (tail && !stop.stop_requested()) older.appendFile(std::move(tail->bytes));
            } catch (const std::system_error&) {
                // Gone or unreadable since the newest lines were read: they stay alone.
            }
            return older;
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
