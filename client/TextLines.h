#pragma once
// Taking a text apart into lines the way the log views, the log files and the result columns
// read it: a line ends at CR, LF or CR LF. A line end at the very end of the text does not
// start another (empty) line, and an empty text has no lines at all.
#include <string>
#include <string_view>
#include <vector>

namespace tvr::client {

// Calls `each` with every line of `text` in order, as a view into `text` without its line end.
// `each` may write over the bytes of lines already passed to it (a loaded log is compacted in
// place that way): the walk reads no byte before the line it is at.
template <class Each>
void forEachLine(std::string_view text, Each&& each) {
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && data[end] != '\n' && data[end] != '\r') ++end;
        const std::size_t next =
            end < size && data[end] == '\r' && end + 1 < size && data[end + 1] == '\n' ? end + 2
                                                                                       : end + 1;
        each(std::string_view(data + start, end - start));
        start = next;
    }
}

// The lines of `text` as strings.
std::vector<std::string> splitLines(std::string_view text);

}  // namespace tvr::client
