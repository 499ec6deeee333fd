#pragma once
// `tvr --failover`: the failover without a window, for a machine without a display or a
// script run by the administrator or a cluster manager. It reads the settings a windowed run
// saved, logs on without a dialog (the passwords as for an unattended start: "P1:"/"P2:",
// --password-file, TVR_P1/TVR_P2), runs the failover and prints its report. With --fence the
// main database is made read only before the tail of its log is saved.
#include <ostream>
#include <string>
#include <vector>

namespace tvr::config {

inline constexpr const char* kFailoverOption = "--failover";
inline constexpr const char* kFenceOption = "--fence";

// Exit codes: the reserve is online; the settings or the command line do not allow a
// failover (nothing was sent); the failover stopped (its report says where and what is left
// to do by hand).
inline constexpr int kFailoverDone = 0;
inline constexpr int kFailoverConfigFault = 1;
inline constexpr int kFailoverStopped = 2;

bool isFailoverCommand(const std::vector<std::string>& parameters);

// `parameters` without the program's name. The report goes to `out`, a fault to `err`.
int runFailoverCommand(const std::vector<std::string>& parameters, std::ostream& out,
                       std::ostream& err);

}  // namespace tvr::config
