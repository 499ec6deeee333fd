#include "platform/Directories.h"

#include <filesystem>

namespace tvr::platform {

bool forceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

} // namespace tvr::platform
