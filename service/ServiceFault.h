#pragma once
// A fault of the configuration that keeps a service from running at all (no password, a
// registry file that cannot be read, a log that cannot be written, a server that cannot be
// logged on to): what() is the reason, printed on standard error; the exit code is 1, so that
// systemd shows the unit failed.
#include <stdexcept>

namespace tvr::service {

inline constexpr int kConfigurationFault = 1;
// A server refused the logon (a wrong password, a locked login): trying again every minute
// would only lock the login, so the unit lists this code in RestartPreventExitStatus=.
inline constexpr int kLogonRefused = 4;

class ServiceFault : public std::runtime_error {
public:
    explicit ServiceFault(const std::string& reason, int code = kConfigurationFault)
        : std::runtime_error(reason), code_(code) {}
    // The exit code it ends the run with.
    int code() const { return code_; }

private:
    int code_;
};

}  // namespace tvr::service
