#pragma once
// The per-user marker that the server procedure has been installed from this workstation:
// REG_DWORD "IsI" in "Software\DorniqKlv", kept apart from the settings.
#include "platform/Registry.h"

#include <string_view>

namespace tvr::config {

inline constexpr std::string_view kProcedureMarkerKey = "Software\\DorniqKlv";
inline constexpr std::string_view kProcedureMarkerValue = "IsI";

// True only for the REG_DWORD value 1; 0, a missing key or value, or a value of another
// type mean false. A registry file that cannot be read throws RegistryError.
bool readProcedureInstalled(const platform::Registry& registry);

// Stores 1, creating the key when missing. The outcome is not reported, as for the
// settings; a registry file that cannot be written still throws RegistryError.
void writeProcedureInstalled(platform::Registry& registry);

}  // namespace tvr::config
