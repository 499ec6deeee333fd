#pragma once
// How many of their newest lines the log views keep: the setting "EditLogViewLines" of the
// "Views" page, stored beside the others (SettingsKeys.h). The log files keep everything.
#include "platform/Registry.h"

#include <cstddef>
#include <string_view>

namespace tvr::config {

inline constexpr std::size_t kDefaultLogViewLines = 200000;
// Fewer would hide a day's work; more would let a view outgrow the memory of a small machine.
inline constexpr std::size_t kFewestLogViewLines = 1000;
inline constexpr std::size_t kMostLogViewLines = 10000000;

// The number a stored text gives, brought within [kFewestLogViewLines, kMostLogViewLines];
// the default for a text that is not a whole number.
std::size_t logViewLines(std::string_view text);

// The stored setting as logViewLines reads it; the default while none is stored. A registry
// file that cannot be read throws RegistryError.
std::size_t readLogViewLines(const platform::Registry& registry);

}  // namespace tvr::config
