#include "ui/LogLines.h"

#include "client/LogLineStyle.h"
#include "client/TextLines.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>

namespace tvr::ui {
namespace {

// The oldest chunk, partly emptied, and the newest, partly filled, are held whole: a view at
// its limit swings by about this much.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
constexpr std::size_t kLongestLine = (std::size_t{1} << 28) - 1;
constexpr std::size_t kLargestChunk = UINT32_MAX;
constexpr std::uint8_t kRed = 1, kGreen = 2, kBold = 4, kUnderline = 8;

}  // namespace

std::uint8_t TLogLines::packStyle(const client::LogLine& line) {
    std::uint8_t style = 0;
    if (line.colour == client::LogColour::Red) style |= kRed;
    if (line.colour == client::LogColour::Green) style |= kGreen;
    if (line.bold) style |= kBold;
    if (line.underline) style |= kUnderline;
    return style;
}

std::string_view TLogLines::text(std::size_t line) const {
    const Line& l = lines_.at(line);
    return std::string_view(chunkOf(l).text).substr(l.offset, l.length());
}

client::LogColour TLogLines::colour(std::size_t line) const {
    const unsigned style = lines_.at(line).style();
    if (style & kRed) return client::LogColour::Red;
    if (style & kGreen) return client::LogColour::Green;
    return client::LogColour::Default;
}

bool TLogLines::bold(std::size_t line) const { return lines_.at(line).style() & kBold; }
bool TLogLines::underline(std::size_t line) const { return lines_.at(line).style() & kUnderline; }

client::LogLine TLogLines::line(std::size_t line) const {
    return client::LogLine{std::string(text(line)), colour(line), bold(line), underline(line)};
}

TLogLines::Line TLogLines::store(std::string_view text, std::uint8_t style) {
    if (text.size() > kLongestLine) text = text.substr(0, kLongestLine);
    if (!appending_ || chunks_.back().text.size() + text.size() > kChunkSize) {
        chunks_.emplace_back();
        chunks_.back().text.reserve(std::max(kChunkSize, text.size()));
        appending_ = true;
    }
    Chunk& chunk = chunks_.back();
    const Line l(chunk.text.size(), static_cast<std::uint32_t>(firstChunk_ + chunks_.size() - 1),
                 text.size(), style);
    chunk.text.append(text);
    ++chunk.users;
    longest_ = std::max(longest_, text.size());
    return l;
}

void TLogLines::release(const Line& line) {
    Chunk& chunk = chunkOf(line);
    if (--chunk.users > 0) return;
    const bool appendChunk = appending_ && &chunk == &chunks_.back();
    if (!appendChunk) {
        std::string().swap(chunk.text);
        // Once malloc has raised its threshold for blocks mapped on their own (it does when
        // such a block is freed), chunks come from an arena's heap, and a chunk freed there
        // stays resident: a view at its limit grew by a fifth over a million passes before
        // it settled. Its pages go back now (rare: a chunk holds thousands of lines).
        ::malloc_trim(0);
    }
    while (!chunks_.empty() && chunks_.front().users == 0 && !(appending_ && chunks_.size() == 1)) {
        chunks_.pop_front();
        ++firstChunk_;
    }
}

void TLogLines::append(const client::LogLine& line) {
    lines_.push_back(store(line.text, packStyle(line)));
    ++appended_;
}

void TLogLines::appendFile(std::string bytes) {
    if (bytes.size() > kLargestChunk) {
        // Beyond what a line's offset reaches: the lines go into chunks of the usual size.
        client::forEachLine(bytes, [&](std::string_view raw) {
            if (client::holdsLogMarker(raw))
                append(client::styleLogLine(raw));
            else
                lines_.push_back(store(raw, 0));
        });
        return;
    }
    // The lines are compacted in place: each line's text, markers removed, is written over
    // the bytes already read, so the file's buffer becomes the chunk that holds them.
    const auto chunk = static_cast<std::uint32_t>(firstChunk_ + chunks_.size());
    char* const base = bytes.data();
    std::size_t write = 0, users = 0;
    client::forEachLine(bytes, [&](std::string_view raw) {
        std::uint8_t style = 0;
        std::size_t length = std::min(raw.size(), kLongestLine);
        if (client::holdsLogMarker(raw)) {
            const client::LogLine styled = client::styleLogLine(raw);
            style = packStyle(styled);
            length = std::min(styled.text.size(), kLongestLine);
            std::memcpy(base + write, styled.text.data(), length);
        } else if (base + write != raw.data()) {
            std::memmove(base + write, raw.data(), length);
        }
        lines_.emplace_back(write, chunk, length, style);
        longest_ = std::max(longest_, length);
        write += length;
        ++users;
    });
    if (users == 0) return;
    bytes.resize(write);  // not shrunk: a copy would double the peak for a few bytes
    chunks_.push_back(Chunk{std::move(bytes), users});
    appending_ = false;  // a loaded chunk takes no further text
}

void TLogLines::clear() {
    lines_.clear();
    chunks_.clear();
    firstChunk_ = 0;
    appending_ = false;
    noted_ = false;
    longest_ = 0;
}

void TLogLines::insertOlder(std::size_t before, TLogLines&& older) {
    if (older.lines_.empty()) return;
    before = std::min(before, lines_.size());
    if (before == 0) noted_ = false;
    const auto base = static_cast<std::uint32_t>(firstChunk_ + chunks_.size());
    for (Chunk& chunk : older.chunks_) chunks_.push_back(std::move(chunk));
    appending_ = false;  // the last chunk now is one of the older ones
    for (Line& line : older.lines_) line.chunk = line.chunk - older.firstChunk_ + base;
    // The lines held so far join the older ones' records rather than the other way round:
    // the older are the many (a log's lines loaded behind its newest), and a copy of them
    // would double their records for a moment.
    std::deque<Line> merged = std::move(older.lines_);
    const auto split = lines_.begin() + static_cast<std::ptrdiff_t>(before);
    merged.insert(merged.end(), split, lines_.end());
    merged.insert(merged.begin(), lines_.begin(), split);
    lines_ = std::move(merged);
    longest_ = std::max(longest_, older.longest_);
    older.clear();
}

std::size_t TLogLines::keepNewest(std::size_t limit, std::string_view note) {
    const std::size_t first = noted_ ? 1 : 0;
    if (limit == 0 || lines_.size() - first <= limit) return 0;
    const std::size_t excess = lines_.size() - first - limit;
    const auto from = lines_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto to = from + static_cast<std::ptrdiff_t>(excess);
    for (auto it = from; it != to; ++it) release(*it);
    lines_.erase(from, to);
    if (!noted_) {
        lines_.push_front(store(note, 0));
        noted_ = true;
        return excess - 1;
    }
    // The note moves to the chunk that takes appends, so it never holds an old chunk.
    const bool inAppendChunk =
        appending_ && lines_.front().chunk == firstChunk_ + chunks_.size() - 1;
    if (text(0) != note || !inAppendChunk) {
        const Line old = lines_.front();
        lines_.front() = store(note, 0);
        release(old);
    }
    return excess;
}

void TLogLines::setText(std::size_t line, std::string_view text) {
    const Line old = lines_.at(line);
    lines_[line] = store(text, old.style());
    release(old);
}

void TLogLines::insert(std::size_t before, const client::LogLine& line) {
    before = std::min(before, lines_.size());
    if (before == 0) noted_ = false;
    const Line l = store(line.text, packStyle(line));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(before), l);
}

void TLogLines::erase(std::size_t first, std::size_t last) {
    last = std::min(last, lines_.size());
    if (first >= last) return;
    if (first == 0) noted_ = false;
    const auto from = lines_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto to = lines_.begin() + static_cast<std::ptrdiff_t>(last);
    for (auto it = from; it != to; ++it) release(*it);
    lines_.erase(from, to);
}

std::size_t TLogLines::textBytes() const {
    std::size_t bytes = 0;
    for (const Chunk& chunk : chunks_) bytes += chunk.text.capacity();
    return bytes;
}

}  // namespace tvr::ui
