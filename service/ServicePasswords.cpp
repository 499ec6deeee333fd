#include "service/ServicePasswords.h"

#include "config/CommandLine.h"
#include "config/PasswordSources.h"
#include "service/ServiceFault.h"

namespace tvr::service {
namespace {

bool startsWithPassword(const std::string& parameter) {
    if (parameter.size() < 3 || (parameter[0] != 'P' && parameter[0] != 'p')) return false;
    return (parameter[1] == '1' || parameter[1] == '2') && parameter[2] == ':';
}

}  // namespace

ServicePasswords servicePasswords(const std::vector<std::string>& parameters) {
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string& p = parameters[i];
        if (startsWithPassword(p))
            throw ServiceFault(
                "a service takes no password on its command line, where every user sees it: "
                "use --password-file FILE or TVR_P1 and TVR_P2");
        if (p == config::kPasswordFileOption || p == "--metrics") {
            ++i;  // its file name; withPasswordSources reports a missing password file
        } else if (p != "-A" && p != "-a") {
            throw ServiceFault("unknown parameter \"" + p + "\" (see tvr --help)");
        }
    }
    const config::CommandLineValues values =
        config::parseCommandLine(config::withPasswordSources(parameters));
    return {values.mainPassword, values.reservePassword, values.metricsFile};
}

}  // namespace tvr::service
