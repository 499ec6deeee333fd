#pragma once
// The log views' own settings, kept apart from the eleven of the settings dialog:
// REG_DWORD "LogViewLines" in "<settings base key>\Views", how many of the newest lines each
// log view keeps (the log files always keep everything).
#include "platform/Registry.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tvr::config {

inline constexpr std::string_view kLogViewLinesValue = "LogViewLines";
inline constexpr std::size_t kDefaultLogViewLines = 200000;
// Fewer would hide a day's work; more would let a view outgrow the memory of a small machine.
inline constexpr std::size_t kFewestLogViewLines = 1000;
inline constexpr std::size_t kMostLogViewLines = 10000000;

std::string viewSettingsKey();

// The stored number brought within [kFewestLogViewLines, kMostLogViewLines]; the default
// while none is stored or the value is not a REG_DWORD. A registry file that cannot be read
// throws RegistryError.
std::size_t readLogViewLines(const platform::Registry& registry);

// Stores `lines` brought within the same range; a registry file that cannot be written
// throws RegistryError.
void writeLogViewLines(platform::Registry& registry, std::size_t lines);

}  // namespace tvr::config
