#include "config/RunOptions.h"

namespace tvr::config {

RunOptions takeRunOptions(std::vector<std::string>& parameters) {
    RunOptions options;
    const std::string prefix = std::string(kProfileOption) + "=";
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string& p = parameters[i];
        if (p == kServiceOption) {
            options.service = true;
        } else if (p == kReseedOption) {
            options.reseed = true;
        } else if (p == kProfileOption) {
            if (i + 1 == parameters.size())
                throw RunOptionError(std::string(kProfileOption) + " needs a profile name");
            options.profile = parameters[++i];
        } else if (p.rfind(prefix, 0) == 0) {
            options.profile = p.substr(prefix.size());
        } else {
            rest.push_back(p);
        }
    }
    parameters = std::move(rest);
    return options;
}

}  // namespace tvr::config
