#pragma once
// Copying the settings into the main window: the database names into the status panels and
// the servers, databases and folders into the info grid, which has a reserve-server row only
// while a reserve server is in use.
#include "config/LiveSettings.h"
#include "engine/ProcessDisplay.h"

namespace tvr::config {

void ApplySettings(const LiveSettings& live, bool useReserve, engine::TProcessDisplay& display);

}  // namespace tvr::config
