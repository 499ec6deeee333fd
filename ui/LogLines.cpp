#include "ui/LogLines.h"

#include "client/LogLineStyle.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tvr::ui {
namespace {

constexpr std::size_t kChunkSize = std::size_t{4} << 20;
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
    return std::string_view(chunks_[l.chunk]).substr(l.offset, l.length);
}

client::LogColour TLogLines::colour(std::size_t line) const {
    const std::uint8_t style = lines_.at(line).style;
    if (style & kRed) return client::LogColour::Red;
    if (style & kGreen) return client::LogColour::Green;
    return client::LogColour::Default;
}

bool TLogLines::bold(std::size_t line) const { return lines_.at(line).style & kBold; }
bool TLogLines::underline(std::size_t line) const { return lines_.at(line).style & kUnderline; }

client::LogLine TLogLines::line(std::size_t line) const {
    return client::LogLine{std::string(text(line)), colour(line), bold(line), underline(line)};
}

TLogLines::Line TLogLines::store(std::string_view text, std::uint8_t style) {
    if (text.size() > UINT32_MAX) text = text.substr(0, UINT32_MAX);
    if (appendChunk_ == SIZE_MAX || chunks_[appendChunk_].size() + text.size() > kChunkSize) {
        if (chunks_.size() >= UINT16_MAX) throw std::length_error("log view full");
        chunks_.emplace_back();
        chunks_.back().reserve(std::max(kChunkSize, text.size()));
        appendChunk_ = chunks_.size() - 1;
    }
    std::string& chunk = chunks_[appendChunk_];
    const Line l{chunk.size(), static_cast<std::uint32_t>(text.size()),
                 static_cast<std::uint16_t>(appendChunk_), style};
    chunk.append(text);
    longest_ = std::max(longest_, text.size());
    return l;
}

void TLogLines::append(const client::LogLine& line) {
    lines_.push_back(store(line.text, packStyle(line)));
}

void TLogLines::appendFile(std::string bytes) {
    if (chunks_.size() >= UINT16_MAX) throw std::length_error("log view full");
    // The lines are compacted in place: each line's text, markers removed, is written over
    // the bytes already read, so the file's buffer becomes the chunk that holds them.
    const std::uint16_t chunk = static_cast<std::uint16_t>(chunks_.size());
    char* const base = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t read = 0, write = 0;
    std::size_t lineCount = 0;
    for (std::size_t i = 0; i < size; ++i)
        if (base[i] == '\n' || (base[i] == '\r' && (i + 1 == size || base[i + 1] != '\n')))
            ++lineCount;
    lines_.reserve(lines_.size() + lineCount + 1);
    while (read < size) {
        std::size_t end = read;
        while (end < size && base[end] != '\n' && base[end] != '\r') ++end;
        std::string_view raw(base + read, end - read);
        std::uint8_t style = 0;
        std::size_t length = raw.size();
        if (std::memchr(raw.data(), '$', raw.size()) &&
            (raw.find("$Err$") != std::string_view::npos ||
             raw.find("$Mess$") != std::string_view::npos)) {
            const client::LogLine styled = client::StyleLogLine(raw);
            style = packStyle(styled);
            length = styled.text.size();
            std::memcpy(base + write, styled.text.data(), length);
        } else if (write != read) {
            std::memmove(base + write, raw.data(), length);
        }
        if (length > UINT32_MAX) length = UINT32_MAX;
        lines_.push_back(Line{write, static_cast<std::uint32_t>(length), chunk, style});
        longest_ = std::max(longest_, length);
        write += length;
        if (end < size && base[end] == '\r' && end + 1 < size && base[end + 1] == '\n') ++end;
        read = end + 1;
    }
    bytes.resize(write);  // not shrunk: a copy would double the peak for a few bytes
    chunks_.push_back(std::move(bytes));
    appendChunk_ = SIZE_MAX;  // a loaded chunk takes no further text
}

void TLogLines::clear() {
    lines_.clear();
    lines_.shrink_to_fit();
    chunks_.clear();
    appendChunk_ = SIZE_MAX;
    longest_ = 0;
}

void TLogLines::setText(std::size_t line, std::string_view text) {
    const std::uint8_t style = lines_.at(line).style;
    lines_[line] = store(text, style);
}

void TLogLines::insert(std::size_t before, const client::LogLine& line) {
    const Line l = store(line.text, packStyle(line));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines_.size())), l);
}

void TLogLines::erase(std::size_t first, std::size_t last) {
    last = std::min(last, lines_.size());
    if (first >= last) return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                 lines_.begin() + static_cast<std::ptrdiff_t>(last));
}

}  // namespace tvr::ui
