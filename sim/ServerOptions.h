#pragma once
// The command line of aseemu.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tvr::sim {

// The size of a database made without one, as the server's "default database size".
inline constexpr std::uint64_t kDefaultDatabaseSizeMB = 2;

struct ServerOptions {
    std::string name = "ASEEMU";
    int port = 0;
    std::string dataDir;
    std::vector<std::pair<std::string, std::string>> logins;  // user, password
    std::vector<std::string> databases;
    std::set<std::string> mixedLogDatabases;  // --mixed-log: created with log and data together
    std::map<std::string, std::uint64_t> databaseSizesMB;  // NAME:SIZE_MB; others the default
    std::string traceFile;
    std::size_t maxMessageSize = 16 * 1024 * 1024;
    // The whole logon must arrive within this; a logged-on session that sends no request for
    // idleTimeoutSeconds is closed (0: never).
    long loginTimeoutSeconds = 60;
    long idleTimeoutSeconds = 8 * 3600;
};

// Throws std::invalid_argument with a readable reason for an unknown option, a missing value
// or a malformed one (port, login without ':', database name that is no identifier).
ServerOptions parseServerOptions(const std::vector<std::string>& arguments);

std::string serverUsage();

// A valid server object name: a letter or _ first, then letters, digits, _, $, #, @;
// at most 30 characters.
bool isValidObjectName(const std::string& name);

}  // namespace tvr::sim
