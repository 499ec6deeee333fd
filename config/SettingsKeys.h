#pragma once
// Where the settings live below HKEY_CURRENT_USER, and the one table of the settings: their
// names, kinds and defaults, in the order they are read and written. The first eleven are the
// program's original ones; the watch settings follow them, so that a file written by an
// older version reads as before and the new ones take their defaults.
//
//   base                 "ServerName", "UserName"  (main-server logon)
//   base\Reserv          "ServerName", "UserName"  (reserve-server logon; ServerName also by saves)
//   base\Reserv\<Entry>  default value             (every setting, main server's included)
#include "config/DumpLoadSettings.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tvr::config {

inline constexpr std::string_view kSettingsBaseKey = "Software\\Kelvane\\DorniqSybase";

// The key of the reserve server's logon names: the base key text followed by "\Reserv\".
inline std::string reserveKeyPath() { return std::string(kSettingsBaseKey) + "\\Reserv\\"; }

// Where a setting's value comes from while nothing is stored for it.
enum class SettingDefault {
    Field,         // the field's value before loading (TDumpLoadSettings{})
    SybaseData,    // SYBASE expanded + "/dmp/data", set before any setting is read
    SybaseLog,     // SYBASE as stored + "/dmp/log", at its turn in the table
    SybaseLogData  // SYBASE as stored + "/dmp/data", at its turn (the error log beside dumps)
};

// One setting: its entry name, the field that holds it (a boolean or a text) and its default.
struct SettingField {
    std::string_view entry;
    bool TDumpLoadSettings::*flag = nullptr;
    std::string TDumpLoadSettings::*text = nullptr;
    SettingDefault fallback = SettingDefault::Field;
};

inline constexpr std::array<SettingField, 19> kSettingFields = {{
    {"IsReserv", &TDumpLoadSettings::IsReserv, nullptr},
    {"IsDumLoadBD", &TDumpLoadSettings::IsDumLoadBD, nullptr},
    {"IsClearLog", &TDumpLoadSettings::IsClearLog, nullptr},
    {"IsInterval", &TDumpLoadSettings::IsInterval, nullptr},
    {"EditInterval", nullptr, &TDumpLoadSettings::EditInterval},
    {"ComboDump", nullptr, &TDumpLoadSettings::ComboDump},
    {"EditPathDump", nullptr, &TDumpLoadSettings::EditPathDump, SettingDefault::SybaseData},
    {"ComboLoad", nullptr, &TDumpLoadSettings::ComboLoad},
    {"EditPathLoad", nullptr, &TDumpLoadSettings::EditPathLoad, SettingDefault::SybaseData},
    {"EditLogPath", nullptr, &TDumpLoadSettings::EditLogPath, SettingDefault::SybaseLog},
    {"EditErrorLogPath", nullptr, &TDumpLoadSettings::EditErrorLogPath,
     SettingDefault::SybaseLogData},
    {"IsFullOnBreak", &TDumpLoadSettings::IsFullOnBreak, nullptr},
    {"EditLagWarning", nullptr, &TDumpLoadSettings::EditLagWarning},
    {"EditLagCritical", nullptr, &TDumpLoadSettings::EditLagCritical},
    {"EditStallLimit", nullptr, &TDumpLoadSettings::EditStallLimit},
    {"EditLogViewLines", nullptr, &TDumpLoadSettings::EditLogViewLines},
    {"EditKeepDumpDays", nullptr, &TDumpLoadSettings::EditKeepDumpDays},
    {"EditKeepHistoryDays", nullptr, &TDumpLoadSettings::EditKeepHistoryDays},
    {"EditAlertCommand", nullptr, &TDumpLoadSettings::EditAlertCommand},
}};

// The entry names alone, in the same order.
inline constexpr std::array<std::string_view, kSettingFields.size()> kSettingEntries = [] {
    std::array<std::string_view, kSettingFields.size()> names{};
    for (std::size_t i = 0; i < kSettingFields.size(); ++i) names[i] = kSettingFields[i].entry;
    return names;
}();

// The key of one setting: the reserve key followed by the entry written with a leading
// separator, e.g. "Software\Kelvane\DorniqSybase\Reserv\\IsReserv". The registry takes the
// doubled separator as one. Error texts quote this path as it is built.
inline std::string settingKeyPath(std::string_view entry) {
    return reserveKeyPath() + "\\" + std::string(entry);
}

}  // namespace tvr::config
