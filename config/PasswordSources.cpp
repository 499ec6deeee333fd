#include "config/PasswordSources.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace tvr::config {
namespace {

std::string quoted(const std::filesystem::path& file) { return "\"" + file.string() + "\""; }

void refuseOpenToOthers(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        throw PasswordSourceError("the password file " + quoted(file) + " cannot be read");
    const unsigned mode = status.st_mode & 07777;
    if ((mode & 077) == 0) return;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode);
    throw PasswordSourceError("the password file " + quoted(file) +
                              " is open to other users (mode " + octal +
                              "); make it its owner's alone: chmod 600 " + file.string());
}

}  // namespace

std::vector<std::string> readPasswordFile(const std::filesystem::path& file) {
    refuseOpenToOthers(file);
    std::ifstream in(file, std::ios::binary);
    if (!in) throw PasswordSourceError("the password file " + quoted(file) + " cannot be read");
    std::vector<std::string> passwords;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.rfind("P1:", 0) != 0 && line.rfind("P2:", 0) != 0) {
            throw PasswordSourceError("line " + std::to_string(number) + " of the password file " +
                                      quoted(file) + " is neither \"P1:\" nor \"P2:\"");
        }
        passwords.push_back(line);
    }
    if (passwords.empty())
        throw PasswordSourceError("the password file " + quoted(file) + " holds no password");
    return passwords;
}

std::vector<std::string> withPasswordSources(const std::vector<std::string>& parameters) {
    std::vector<std::string> sourced;
    std::vector<std::string> rest;
    const struct {
        const char* variable;
        const char* prefix;
    } fromEnvironment[] = {{kMainPasswordVariable, "P1:"}, {kReservePasswordVariable, "P2:"}};
    for (const auto& [variable, prefix] : fromEnvironment) {
        if (const char* value = std::getenv(variable)) {
            sourced.push_back(prefix + std::string(value));
            ::unsetenv(variable);
        }
    }
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i] != kPasswordFileOption) {
            rest.push_back(parameters[i]);
            continue;
        }
        if (i + 1 == parameters.size())
            throw PasswordSourceError(std::string(kPasswordFileOption) + " needs a file name");
        for (std::string& password : readPasswordFile(parameters[++i]))
            sourced.push_back(std::move(password));
    }
    sourced.insert(sourced.end(), rest.begin(), rest.end());
    return sourced;
}

}  // namespace tvr::config
