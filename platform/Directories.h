#pragma once
// Folders created with every missing parent, as the settings and the log files need them.
#include <string>

namespace tvr::platform {

// Creates `path` and each missing folder above it. True when the folder exists afterwards.
// An empty path is refused (false); callers that must report it check for it first.
bool forceDirectories(const std::string& path);

} // namespace tvr::platform
