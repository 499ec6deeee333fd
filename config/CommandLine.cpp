#include "config/CommandLine.h"

#include <cstring>

namespace tvr::config {
namespace {

// Upper case of the letters a to z only, whatever the locale says.
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsWithPrefix(const char* parameter, std::size_t length, const char (&prefix)[4]) {
    if (length < 3) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (upperAscii(parameter[i]) != prefix[i]) return false;
    return true;
}

bool isPasswordParameter(const char* parameter, std::size_t length) {
    return startsWithPrefix(parameter, length, "P1:") || startsWithPrefix(parameter, length, "P2:");
}

}  // namespace

CommandLineValues parseCommandLine(const std::vector<std::string>& given) {
    CommandLineValues values;
    std::vector<std::string> parameters;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] == "--metrics" && i + 1 < given.size()) {
            values.metricsFile = given[++i];
        } else {
            parameters.push_back(given[i]);
        }
    }
    if (!parameters.empty() && parameters.size() <= 3) values.result = kAutomaticLogon;
    bool mainFound = false;
    for (const std::string& p : parameters) {
        if (startsWithPrefix(p.data(), p.size(), "P1:")) {
            values.mainPassword = p.substr(3);
            mainFound = true;
        } else if (startsWithPrefix(p.data(), p.size(), "P2:")) {
            values.reservePassword = p.substr(3);
        } else if (p.size() == 2 && p[0] == '-' && upperAscii(p[1]) == 'A') {
            values.autoStart = true;
        }
    }
    if (!mainFound) values.result = kNoMainPassword;
    return values;
}

int storeCommandLine(const std::vector<std::string>& parameters,
                     engine::TConnections& connections) {
    CommandLineValues values = parseCommandLine(parameters);
    if (values.mainPassword) connections.MainPassword = std::move(*values.mainPassword);
    if (values.reservePassword) connections.ReservePassword = std::move(*values.reservePassword);
    if (values.autoStart) connections.AutoStart = true;
    if (values.metricsFile) connections.MetricsFile = std::move(*values.metricsFile);
    return values.result;
}

std::vector<std::string> takeCommandLine(int argc, char** argv) {
    std::vector<std::string> parameters;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::size_t length = std::strlen(argv[i]);
        parameters.emplace_back(argv[i], length);
        if (isPasswordParameter(argv[i], length)) std::memset(argv[i] + 3, '*', length - 3);
    }
    return parameters;
}

}  // namespace tvr::config
