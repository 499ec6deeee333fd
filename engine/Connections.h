#pragma once
// The two sessions of the program, main and reserve, with the passwords of an unattended
// logon. The logons own the slots and change them on the GUI thread only. A running worker
// holds its own share of each connection it uses, so a logon that replaces a slot while a
// run goes on drops the slot's share and never frees the worker's session under it.
#include "client/Sybase.h"

#include <atomic>
#include <memory>
#include <string>

namespace tvr::engine {

struct TConnections {
    std::shared_ptr<client::TSybaseConnect> MainConnection;
    std::shared_ptr<client::TSybaseConnect> ReserveConnection;
    std::atomic<bool> MainConnected{false};
    std::atomic<bool> ReserveConnected{false};
    std::string MainPassword;     // from "P1:"
    std::string ReservePassword;  // from "P2:"
    bool AutoLogon = false;       // logons use the command-line passwords
    bool AutoStart = false;       // "-A" given
    bool LogonPending = false;    // the start-up logon has no main connection yet
    std::string MetricsFile;      // "--metrics FILE": rewritten after every pass
};

}  // namespace tvr::engine
