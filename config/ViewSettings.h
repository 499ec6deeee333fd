#pragma once
// How the log views show their lines: how many of their newest lines they keep (the setting
// "EditLogViewLines" of the "Views" page, stored beside the others, SettingsKeys.h; the log
// files keep everything) and whether long lines wrap (the View menu's "Wrap lines").
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

// Whether the log views wrap their lines at the view's width: stored under
// settingKeyPath(kWrapLinesEntry) as a boolean text, off while nothing (or no boolean) is stored. The View menu
// writes it at once, apart from the settings dialog's table, so a Save there cannot undo it.
inline constexpr std::string_view kWrapLinesEntry = "LogViewWrapLines";
bool readWrapLines(const platform::Registry& registry);
// Throws RegistryError when the file cannot be written.
void writeWrapLines(platform::Registry& registry, bool wrap);

}  // namespace tvr::config
