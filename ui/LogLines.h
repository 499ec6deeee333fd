#pragma once
// The lines a log view holds: their text and style, kept compactly so that a log of a million
// lines loads in a moment and costs little more than its file. Text lives in large chunks;
// a line is an offset, a length and a style. Edits never move other lines' text: a changed
// line gets its new text appended to a chunk. A chunk no line uses any more is freed and its
// pages given back to the system, so a view that keeps only its newest lines stays the same
// size however long it runs.
// Not thread-safe: the view guards it (ui/LogView.h).
#include "client/LogSink.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::ui {

class TLogLines {
public:
    std::size_t count() const { return lines_.size(); }
    std::string_view text(std::size_t line) const;
    client::LogLine line(std::size_t line) const;
    client::LogColour colour(std::size_t line) const;
    bool bold(std::size_t line) const;
    bool underline(std::size_t line) const;
    // The longest line's length in bytes (an upper bound once lines have gone or changed).
    std::size_t longest() const { return longest_; }

    void append(const client::LogLine& line);
    // How many lines append() has taken since the store began, gone ones included: a reader
    // that remembers the figure finds the lines that came after it at the end.
    std::uint64_t appended() const { return appended_; }
    // Takes the bytes of a log file and appends its lines, each styled by its own markers
    // (client/LogLineStyle.h), lines as client/TextLines.h takes them apart.
    void appendFile(std::string bytes);
    void clear();
    // Puts the lines of `older` before line `before` (at most the end).
    void insertOlder(std::size_t before, TLogLines&& older);

    // Keeps the newest `limit` lines and a first line `note` in place of the older ones, once
    // there are more. Returns by how many places the kept lines moved up.
    std::size_t keepNewest(std::size_t limit, std::string_view note);
    // Whether the first line is the note on lines no longer held.
    bool noted() const { return noted_; }

    // Editing, for a view the user may type into.
    void setText(std::size_t line, std::string_view text);
    void insert(std::size_t before, const client::LogLine& line);
    // Removes the lines [first, last).
    void erase(std::size_t first, std::size_t last);

    // The bytes held for text, for figures on memory.
    std::size_t textBytes() const;

private:
    // Twelve bytes a line: with a view's hundreds of thousands of lines this is, after the
    // text, what a view costs.
    struct Line {
        std::uint32_t offset;  // in its chunk, which never holds more than 4 GB
        std::uint32_t chunk;   // a chunk's number since the store began
        std::uint32_t packed;  // the length in the low 28 bits, the style in the high 4

        Line(std::size_t at, std::uint32_t number, std::size_t bytes, std::uint8_t looks)
            : offset(static_cast<std::uint32_t>(at)),
              chunk(number),
              packed(static_cast<std::uint32_t>(bytes) | std::uint32_t{looks} << 28) {}
        std::size_t length() const { return packed & 0x0FFFFFFFu; }
        std::uint8_t style() const { return static_cast<std::uint8_t>(packed >> 28); }
    };
    struct Chunk {
        std::string text;
        std::size_t users = 0;  // lines whose text is here
    };
    static std::uint8_t packStyle(const client::LogLine& line);
    Line store(std::string_view text, std::uint8_t style);
    Chunk& chunkOf(const Line& line) { return chunks_[line.chunk - firstChunk_]; }
    const Chunk& chunkOf(const Line& line) const { return chunks_[line.chunk - firstChunk_]; }
    void release(const Line& line);

    std::deque<Chunk> chunks_;
    std::uint32_t firstChunk_ = 0;  // the number of chunks_.front()
    std::deque<Line> lines_;
    bool appending_ = false;  // chunks_.back() takes appended text
    bool noted_ = false;
    std::size_t longest_ = 0;
    std::uint64_t appended_ = 0;
};

}  // namespace tvr::ui
