#include "platform/RegistryKeyPath.h"

namespace tvr::platform {

std::optional<std::vector<std::string>> splitKeyPath(std::string_view path) {
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    if (!path.empty() && path.front() == '\\') return std::nullopt;
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool storableName(std::string_view name) {
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::optional<std::vector<std::string>> storableKeyPath(std::string_view path) {
    if (!storableName(path)) return std::nullopt;
    return splitKeyPath(path);
}

}  // namespace tvr::platform
