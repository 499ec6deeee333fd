#include "sim/procs/ExtensionOptions.h"

#include <stdexcept>

#include "sim/backup/Faults.h"

namespace tvr::sim {

ExtensionOptions takeExtensionOptions(std::vector<std::string>& arguments) {
    ExtensionOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw std::invalid_argument(option + " needs a value");
            return arguments[++i];
        };
        if (option == "--backup-server") {
            const std::string& state = value();
            if (state != "running" && state != "stopped")
                throw std::invalid_argument("--backup-server takes running or stopped, not '" +
                                            state + "'");
            options.backupRunning = state == "running";
        } else if (option == "--backup-name") {
            options.backupName = value();
            if (options.backupName->empty() || options.backupName->size() > 30)
                throw std::invalid_argument("--backup-name must have 1 to 30 characters");
        } else if (option == "--backup-entry") {
            options.backupEntryName = value();
            if (options.backupEntryName.empty() || options.backupEntryName.size() > 30)
                throw std::invalid_argument("--backup-entry must have 1 to 30 characters");
        } else if (option == "--no-backup-entry") {
            options.backupEntry = false;
        } else if (option == "--xp-cmdshell-context") {
            const std::string& text = value();
            if (text.empty() || text.size() > 6 ||
                text.find_first_not_of("0123456789") != std::string::npos)
                throw std::invalid_argument("--xp-cmdshell-context needs a whole number, not '" +
                                            text + "'");
            options.xpCmdshellContext = std::stoi(text);
        } else if (option == "--io-rate") {
            const std::string& text = value();
            std::size_t used = 0;
            double rate = -1;
            try {
                rate = std::stod(text, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != text.size() || !(rate > 0) || rate > 1e6)
                throw std::invalid_argument(
                    "--io-rate needs a positive number of megabytes a second, not '" + text + "'");
            options.ioRateMBps = rate;
        } else if (option == "--fault") {
            const std::string& description = value();
            FaultPlan check;
            std::string why;
            if (!check.arm(description, why)) throw std::invalid_argument("--fault: " + why);
            options.faults.push_back(description);
        } else {
            rest.push_back(option);
        }
    }
    arguments = std::move(rest);
    return options;
}

std::string extensionUsage() {
    return "       [--backup-server running|stopped] [--backup-name NAME] [--no-backup-entry]\n"
           "       [--backup-entry NAME]\n"
           "       [--xp-cmdshell-context N] [--io-rate MBPS] [--fault drop|error:N|stall:N]...\n"
           "       aseemu sandbox DIR   writes a ready SYBASE tree and two servers' data folders\n";
}

}  // namespace tvr::sim
