#pragma once
// How log text looks in a view: the one place that turns the markers of the log files into
// colour and emphasis. Three rules, each where the log's format asks for it:
//  - an entry appended live takes one style for all its lines, from its first marker;
//  - a line read back from a file is styled by its own markers;
//  - a line of an error record shown as it is written follows the record's table.
#include "client/LogSink.h"

#include <string>
#include <string_view>
#include <vector>

namespace tvr::client {

// The markers of the log files: an error line and a message line of an error record.
inline constexpr std::string_view kErrMarker = "$Err$";
inline constexpr std::string_view kMessMarker = "$Mess$";

// A live entry: when it holds "$Mess$", only what follows the first "$Mess$" is kept and every
// line is green; then, when what is kept holds "$Err$", only what follows the first "$Err$" is
// kept and every line is red and bold (so an error wins). Else the lines are plain. The lines
// are those of what is kept (client/TextLines.h).
std::vector<LogLine> styleLogEntry(std::string_view text);

// A line of a log file: "$Err$" anywhere: red and bold, underlined too when what remains holds
// "Error". Else "$Mess$" anywhere: green, underlined when what remains holds "Error". Else
// plain. Every copy of the marker that decided is removed. The tests are case-sensitive.
LogLine styleLogLine(std::string_view line);
// Whether styleLogLine would change `line` (a quick test for the common unmarked line).
bool holdsLogMarker(std::string_view line);

// A line of an error record as written: green for a notice, else red; bold and underlined
// when it holds "Error", else bold for an error and plain for a notice.
LogLine styleErrorRecordLine(std::string_view line, bool notice);

}  // namespace tvr::client
