#pragma once
// The command line of an unattended start: "P1:<main password>", "P2:<reserve password>" and
// "-A" (start processing at once). Prefixes and the switch are taken in any letter case.
#include "engine/Connections.h"

#include <optional>
#include <string>
#include <vector>

namespace tvr::config {

// parseCommandLine's results.
inline constexpr int kAutomaticLogon = 2;
inline constexpr int kNoMainPassword = -902;

// What the parameters say; a later "P1:" or "P2:" replaces an earlier one.
struct CommandLineValues {
    int result = 0;  // kAutomaticLogon, kNoMainPassword or 0
    std::optional<std::string> mainPassword;
    std::optional<std::string> reservePassword;
    bool autoStart = false;
    std::optional<std::string> metricsFile;  // "--metrics FILE"
};

// The parameters (the program's name left out). The automatic logon needs one to three
// parameters, one of them beginning with "P1:"; "--metrics FILE" is taken out first and not
// counted.
CommandLineValues parseCommandLine(const std::vector<std::string>& parameters);

// The same, stored with the connections: MainPassword and ReservePassword when given,
// AutoStart when "-A" is among them, MetricsFile (nothing is cleared). Returns the result.
int storeCommandLine(const std::vector<std::string>& parameters, engine::TConnections& connections);

// Copies the parameters of main's argv, then overwrites the password characters of every
// "P1:" and "P2:" parameter in argv's own memory with '*', so that the process list
// (/proc/<pid>/cmdline) shows the parameters without their passwords. Call it first thing
// in main, before anything else reads argv.
std::vector<std::string> takeCommandLine(int argc, char** argv);

}  // namespace tvr::config
