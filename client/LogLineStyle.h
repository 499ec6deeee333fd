#pragma once
// How one log line looks in a view, taken from its own markers: the same rule for a line
// shown as it is written and for the same line read back from the file, so a log looks the
// same live and after a restart.
#include "client/LogSink.h"

#include <string>
#include <string_view>

namespace tvr::client {

// "$Err$" anywhere: red and bold, underlined too when what remains holds "Error".
// Else "$Mess$" anywhere: green, underlined when what remains holds "Error".
// Else the view's default colour without emphasis. Every copy of the marker that decided
// is removed; the tests are case-sensitive.
LogLine StyleLogLine(std::string_view line);

}  // namespace tvr::client
