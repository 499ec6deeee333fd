#pragma once
// The options that choose how the program runs, taken out of the command line before the
// logon parameters are read: "--service" (no window, no display: see the service folder),
// "--profile NAME" (which settings, logs and instance guard; "--profile=NAME" as well) and
// "--reseed" (the run's first start replaces the reserve database with a full pass).
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvr::config {

inline constexpr const char* kServiceOption = "--service";
inline constexpr const char* kProfileOption = "--profile";
inline constexpr const char* kReseedOption = "--reseed";

// An option given wrongly; what() says which and why.
class RunOptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RunOptions {
    bool service = false;
    std::optional<std::string> profile;  // as given; not yet checked
    bool reseed = false;  // the user's own ask: the start that follows asks nothing more
};

// Removes the options from `parameters` and returns them. "--profile" without a name throws
// RunOptionError; a later "--profile" replaces an earlier one.
RunOptions takeRunOptions(std::vector<std::string>& parameters);

}  // namespace tvr::config
