#pragma once
// The installation of sp_TVR on the main server and, when a reserve server is in use, on the
// reserve server, as the first-setup Save runs it.
#include "engine/Connections.h"

namespace tvr::config {

// The text of the box shown when the installation failed on `server`.
std::string installFailedText(const std::string& server);

// True when it failed; the user has then been told in an "Error" box. Without the needed
// connections nothing is run and the box lists what is missing ("unable to establish
// connection with Main Server", then CR LF and "unable to establish connection with
// Reserve Server"). Otherwise the script runs on each server, and when the script runner
// wrote its failure verdict on one of them (or could not write to the log at all) the box
// names that server and points to the Activity log, where the verdict stands.
bool InstallProcedure(const engine::TConnections& connections, bool useReserve);

}  // namespace tvr::config
