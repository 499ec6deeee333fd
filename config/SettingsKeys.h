#pragma once
// Where the settings live below HKEY_CURRENT_USER.
//
//   base                 "ServerName", "UserName"  (main-server logon)
//   base\Reserv          "ServerName", "UserName"  (reserve-server logon; ServerName also by saves)
//   base\Reserv\<Entry>  default value             (the eleven settings, main server's included)
#include <array>
#include <string>
#include <string_view>

namespace tvr::config {

inline constexpr std::string_view kSettingsBaseKey = "Software\\Kelvane\\DorniqSybase";

// The key of the reserve server's logon names: the base key text followed by "\Reserv\".
inline std::string reserveKeyPath() { return std::string(kSettingsBaseKey) + "\\Reserv\\"; }

// The eleven setting entries, in the order they are read and written.
inline constexpr std::array<std::string_view, 11> kSettingEntries = {
    "IsReserv",     "IsDumLoadBD", "IsClearLog",   "IsInterval",  "EditInterval",    "ComboDump",
    "EditPathDump", "ComboLoad",   "EditPathLoad", "EditLogPath", "EditErrorLogPath"};

// The key of one setting: the reserve key followed by the entry written with a leading
// separator, e.g. "Software\Kelvane\DorniqSybase\Reserv\\IsReserv". The registry takes the
// doubled separator as one. Error texts quote this path as it is built.
inline std::string settingKeyPath(std::string_view entry) {
    return reserveKeyPath() + "\\" + std::string(entry);
}

}  // namespace tvr::config
