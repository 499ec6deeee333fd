#pragma once
// The passwords of a run without a window come from a file only its owner can read
// (--password-file) or from TVR_P1 and TVR_P2, never from the command line, which every user
// of a server can read in the process list (and a unit file keeps for good).
#include <optional>
#include <string>
#include <vector>

namespace tvr::service {

struct ServicePasswords {
    std::optional<std::string> main;
    std::optional<std::string> reserve;
    std::optional<std::string> metricsFile;  // --metrics FILE
};

// From `parameters` (the command line without the options of the run). Throws ServiceFault
// for a "P1:" or "P2:" on the command line and for any parameter but --password-file FILE,
// --metrics FILE and -A; PasswordSourceError for a password file that cannot be used.
ServicePasswords servicePasswords(const std::vector<std::string>& parameters);

}  // namespace tvr::service
