#pragma once
// Passwords for an unattended start from somewhere other than the command line, which every
// user of the machine can read in the process list: a file that only its owner can read
// ("--password-file FILE", one "P1:" and/or "P2:" line), or the environment (TVR_P1, TVR_P2).
// They become the "P1:" and "P2:" parameters the logon at start already takes.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvr::config {

inline constexpr const char* kPasswordFileOption = "--password-file";
inline constexpr const char* kMainPasswordVariable = "TVR_P1";
inline constexpr const char* kReservePasswordVariable = "TVR_P2";

// A password source that cannot be used; what() says why, with the file's name.
class PasswordSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The "P1:" and "P2:" lines of `file`, as parameters. Refuses a file that group or other
// users may read or write, a line that is neither, and a file with no password at all.
std::vector<std::string> readPasswordFile(const std::filesystem::path& file);

// `parameters` with "--password-file FILE" replaced by the file's passwords, and TVR_P1 and
// TVR_P2 added as "P1:" and "P2:" when set; both go in front, so that a password typed on the
// command line still wins. The two variables are removed from the environment once read, so
// that no process started later inherits them.
std::vector<std::string> withPasswordSources(const std::vector<std::string>& parameters);

}  // namespace tvr::config
