#pragma once
// Taking a text apart into lines the way the log views and the result columns read it.
#include <string>
#include <vector>

namespace tvr::client {

// The lines of `text`: a line ends at CR, LF or CR LF. A line end at the very end of the
// text does not start another (empty) line, and an empty text has no lines at all.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace tvr::client
