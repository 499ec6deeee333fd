#include "sim/ServerOptions.h"

#include <cctype>
#include <optional>
#include <stdexcept>

namespace tvr::sim {

bool isValidObjectName(const std::string& name) {
    if (name.empty() || name.size() > 30) return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_') return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#' &&
            c != '@')
            return false;
    return true;
}

std::string serverUsage() {
    return "usage: aseemu --data DIR [--name NAME] [--port N] [--login USER:PASSWORD]... "
           "[--database NAME[:SIZE_MB]]... [--mixed-log NAME[:SIZE_MB]]... [--trace FILE] "
           "[--login-timeout SECONDS] [--idle-timeout SECONDS]\n";
}

namespace {

// NAME[:SIZE_MB]: the name, with its size noted in the options when one is given.
std::string databaseArgument(const std::string& option, const std::string& text,
                             ServerOptions& options) {
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    if (!isValidObjectName(name))
        throw std::invalid_argument("'" + name + "' is no valid database name");
    if (colon == std::string::npos) return name;
    const std::string size = text.substr(colon + 1);
    std::size_t used = 0;
    unsigned long long megabytes = 0;
    try {
        megabytes = std::stoull(size, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    // At most 4 TB, the largest database the server allows.
    if (size.empty() || used != size.size() || size[0] == '-' || megabytes == 0 ||
        megabytes > 4ull * 1024 * 1024)
        throw std::invalid_argument(option + " " + text +
                                    ": the size needs a number of megabytes from 1 to 4194304");
    options.databaseSizesMB[name] = megabytes;
    return name;
}

// A whole number from `low` to `high`; nothing for any other text.
std::optional<long> wholeNumber(const std::string& text, long low, long high) {
    std::size_t used = 0;
    long number = 0;
    try {
        number = std::stol(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != text.size() || number < low || number > high) return std::nullopt;
    return number;
}

}  // namespace

ServerOptions parseServerOptions(const std::vector<std::string>& arguments) {
    ServerOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw std::invalid_argument(option + " needs a value");
            return arguments[++i];
        };
        if (option == "--name") {
            options.name = value();
            if (options.name.empty() || options.name.size() > 30)
                throw std::invalid_argument("--name must have 1 to 30 characters");
        } else if (option == "--port") {
            const std::string& text = value();
            const std::optional<long> port = wholeNumber(text, 0, 65535);
            if (!port)
                throw std::invalid_argument("--port needs a number from 0 to 65535, not '" + text +
                                            "'");
            options.port = static_cast<int>(*port);
        } else if (option == "--data") {
            options.dataDir = value();
        } else if (option == "--login") {
            const std::string& text = value();
            std::size_t colon = text.find(':');
            if (colon == std::string::npos || colon == 0)
                throw std::invalid_argument("--login needs USER:PASSWORD, not '" + text + "'");
            options.logins.emplace_back(text.substr(0, colon), text.substr(colon + 1));
        } else if (option == "--database") {
            options.databases.push_back(databaseArgument(option, value(), options));
        } else if (option == "--mixed-log") {
            // A database whose log shares the device of its data, as one created without "log
            // on": the server refuses every transaction dump of it.
            const std::string name = databaseArgument(option, value(), options);
            options.databases.push_back(name);
            options.mixedLogDatabases.insert(name);
        } else if (option == "--login-timeout" || option == "--idle-timeout") {
            const std::string& text = value();
            const long lowest = option == "--login-timeout" ? 1 : 0;
            const std::optional<long> seconds = wholeNumber(text, lowest, 31L * 24 * 3600);
            if (!seconds)
                throw std::invalid_argument(option + " needs a number of seconds from " +
                                            std::to_string(lowest) + " to 2678400, not '" + text +
                                            "'");
            (option == "--login-timeout" ? options.loginTimeoutSeconds
                                         : options.idleTimeoutSeconds) = *seconds;
        } else if (option == "--trace") {
            options.traceFile = value();
        } else {
            throw std::invalid_argument("unknown option '" + option + "'");
        }
    }
    if (options.dataDir.empty()) throw std::invalid_argument("--data DIR is required");
    if (options.logins.empty()) options.logins.emplace_back("sa", "");
    return options;
}

}  // namespace tvr::sim
