#pragma once
// The lines a log view holds: their text and style, kept compactly so that a log of a million
// lines loads in a moment and costs little more than its file. Text lives in large chunks;
// a line is an offset, a length and a style. Edits never move other lines' text: a changed
// line gets its new text appended to a chunk.
#include "client/LogSink.h"

#include <cstdint>
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
    // The longest line's length in bytes (an upper bound once lines have been edited).
    std::size_t longest() const { return longest_; }

    void append(const client::LogLine& line);
    // Takes the bytes of a whole log file and appends its lines, each styled by its own
    // markers (client/LogLineStyle.h). A line ends at CR LF, LF or CR; a line end at the very
    // end starts no further line.
    void appendFile(std::string bytes);
    void clear();

    // Editing, for a view the user may type into.
    void setText(std::size_t line, std::string_view text);
    void insert(std::size_t before, const client::LogLine& line);
    // Removes the lines [first, last).
    void erase(std::size_t first, std::size_t last);

private:
    struct Line {
        std::uint64_t offset;
        std::uint32_t length;
        std::uint16_t chunk;
        std::uint8_t style;
    };
    static std::uint8_t packStyle(const client::LogLine& line);
    Line store(std::string_view text, std::uint8_t style);

    std::vector<std::string> chunks_;
    std::vector<Line> lines_;
    std::size_t appendChunk_ = SIZE_MAX;  // the chunk that takes appended text
    std::size_t longest_ = 0;
};

}  // namespace tvr::ui
