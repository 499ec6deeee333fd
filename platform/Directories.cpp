#include "platform/Directories.h"

#include <filesystem>

namespace tvr::platform {

bool forceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string folder = path;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    if (folder.size() < 3) return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

}  // namespace tvr::platform
