#pragma once
// "Reverse" after a failover: the reserve that was brought online becomes the main server and
// the repaired old main the standby. The two servers, their logon names, databases and dump
// folders change places in the settings (and in the registry), the open sessions and the
// passwords of an unattended logon change slots with them, and the next run begins with a
// full pass, since the new standby holds nothing of the new main's log. A fence the failover
// set on the old main is lifted, so that the database a later failover brings online takes
// writes.
#include "config/LiveSettings.h"
#include "engine/Connections.h"
#include "platform/Registry.h"

#include <string>

namespace tvr::config {

// GUI thread, while no worker runs. The settings dialog's values follow when it next opens.
// The fence is lifted on the session of the old main (now the reserve) when one is open; its
// messages go to the logs.
// The promoted mark of a failover ends in the ledger `ledgerFile` (none: nothing recorded):
// the new pair ships from the database that was promoted. Throws std::system_error when the
// ledger cannot be written, once the roles have changed.
void reverseRoles(LiveSettings& live, platform::Registry& registry,
                  engine::TConnections& connections, const std::string& ledgerFile = {});

}  // namespace tvr::config
