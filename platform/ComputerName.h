#pragma once
// The workstation's name as the logon sends it to the servers (host name of the connection).
#include <string>

namespace tvr::platform {

// The name from gethostname. It must fit, with its terminating NUL, into the 30-character
// buffer the logon has always used: a longer name cannot be fetched and gives an empty
// name. Surrounding blanks and control characters are removed.
std::string computerName();

// The same rule applied to a given name (what gethostname returned).
std::string computerNameFrom(const std::string& hostName);

constexpr std::size_t kComputerNameBuffer = 30;

}  // namespace tvr::platform
