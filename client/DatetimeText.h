#pragma once
// A server datetime as the result rows keep it: the user's short date, a blank and the
// long time; the date alone at exact midnight; empty for 1 January 1900 00:00, which is
// also what a NULL datetime reads as.
#include <cstypes.h>

#include <string>

namespace tvr::client {

std::string datetimeText(const CS_DATETIME& value);

}  // namespace tvr::client
