#pragma once
// Copying the settings into the main window: the log folders into the window state, the
// database names into the status panels and the servers, databases and folders into the
// info grid, which has a reserve-server row only while a reserve server is in use.
#include "config/LiveSettings.h"
#include "engine/ProcessDisplay.h"
#include "engine/WindowState.h"

namespace tvr::config {

void ApplySettings(const LiveSettings& live, engine::TWindowState& window,
                   engine::TProcessDisplay& display);

}  // namespace tvr::config
