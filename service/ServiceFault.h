#pragma once
// A fault of the configuration that keeps a service from running at all (no password, a
// registry file that cannot be read, a log that cannot be written, a server that cannot be
// logged on to): what() is the reason, printed on standard error; the exit code is 1, so that
// systemd shows the unit failed.
#include <stdexcept>

namespace tvr::service {

inline constexpr int kConfigurationFault = 1;

class ServiceFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tvr::service
