#pragma once
// Key paths below HKEY_CURRENT_USER, written with '\' as the registry writes them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::platform {

// The names of a key path, outermost first. One leading separator is removed, as the
// callers of the registry do before handing a path over; a run of separators inside the
// path counts as one, and trailing separators are ignored, as the registry does. A path
// that still begins with a separator after that is not valid (nothing). An empty path
// names HKEY_CURRENT_USER itself.
std::optional<std::vector<std::string>> splitKeyPath(std::string_view path);

// A value name the file can hold: one without a line break or a NUL, which its
// line-oriented text could not carry.
bool storableName(std::string_view name);
// splitKeyPath for a path the file can hold; nothing for one it cannot.
std::optional<std::vector<std::string>> storableKeyPath(std::string_view path);

}  // namespace tvr::platform
