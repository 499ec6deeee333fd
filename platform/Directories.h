#pragma once
// Folders created with every missing parent, as the settings and the log files need them.
#include <string>

namespace tvr::platform {

// Creates `path` and each missing folder above it; true when that worked or there was
// nothing to do. Trailing separators are ignored. A path of fewer than three characters
// then ("/", "a", "ab") is accepted as it is and nothing is created, as the folder routine
// has always treated drive roots. An empty path is refused (false); callers that must
// report it check for it first.
bool forceDirectories(const std::string& path);

}  // namespace tvr::platform
