#pragma once
// Where the settings live below HKEY_CURRENT_USER, and the one table of the settings: their
// names, kinds, defaults and the settings dialog's controls, in the order they are read and
// written. The first eleven are the ones the program began with; the later ones follow them in the
// order they came, so that a file written by an older version reads as before and the new ones
// take their defaults.
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

// How the settings dialog shows a setting.
enum class SettingControl {
    CheckBox,  // a flag, ticked or not
    LineEdit,  // a text as typed
    ComboBox,  // a text typed or chosen from a list (a database)
    CountBox,  // a whole number of minutes or days; a text that is none shows the default
    LinesBox   // a number of log view lines, read as the views read it
};

// One setting: its entry name, the object name and kind of the settings dialog's control
// that shows it, the field that holds it (a boolean or a text) and its default.
struct SettingField {
    std::string_view entry;
    std::string_view control;
    SettingControl kind = SettingControl::LineEdit;
    bool TDumpLoadSettings::*flag = nullptr;
    std::string TDumpLoadSettings::*text = nullptr;
    SettingDefault fallback = SettingDefault::Field;
};

inline constexpr std::array<SettingField, 22> kSettingFields = {{
    {"IsReserv", "CheckBoxUseReserv", SettingControl::CheckBox, &TDumpLoadSettings::IsReserv},
    {"IsDumLoadBD", "CheckBoxDumpLoadDB", SettingControl::CheckBox,
     &TDumpLoadSettings::IsDumLoadBD},
    {"IsClearLog", "CheckBoxClearLog", SettingControl::CheckBox, &TDumpLoadSettings::IsClearLog},
    {"IsInterval", "CheckBoxInterval", SettingControl::CheckBox, &TDumpLoadSettings::IsInterval},
    {"EditInterval", "EditInterval", SettingControl::LineEdit, nullptr,
     &TDumpLoadSettings::EditInterval},
    {"ComboDump", "ComboDump", SettingControl::ComboBox, nullptr, &TDumpLoadSettings::ComboDump},
    {"EditPathDump", "EditPathDump", SettingControl::LineEdit, nullptr,
     &TDumpLoadSettings::EditPathDump, SettingDefault::SybaseData},
    {"ComboLoad", "ComboLoad", SettingControl::ComboBox, nullptr, &TDumpLoadSettings::ComboLoad},
    {"EditPathLoad", "EditPathLoad", SettingControl::LineEdit, nullptr,
     &TDumpLoadSettings::EditPathLoad, SettingDefault::SybaseData},
    {"EditLogPath", "EditLogPath", SettingControl::LineEdit, nullptr,
     &TDumpLoadSettings::EditLogPath, SettingDefault::SybaseLog},
    {"EditErrorLogPath", "EditErrorLogPath", SettingControl::LineEdit, nullptr,
     &TDumpLoadSettings::EditErrorLogPath, SettingDefault::SybaseLogData},
    {"IsFullOnBreak", "CheckBoxFullOnBreak", SettingControl::CheckBox,
     &TDumpLoadSettings::IsFullOnBreak},
    {"EditLagWarning", "EditLagWarning", SettingControl::CountBox, nullptr,
     &TDumpLoadSettings::EditLagWarning},
    {"EditLagCritical", "EditLagCritical", SettingControl::CountBox, nullptr,
     &TDumpLoadSettings::EditLagCritical},
    {"EditStallLimit", "EditStallLimit", SettingControl::CountBox, nullptr,
     &TDumpLoadSettings::EditStallLimit},
    {"EditLogViewLines", "EditLogViewLines", SettingControl::LinesBox, nullptr,
     &TDumpLoadSettings::EditLogViewLines},
    {"EditKeepDumpDays", "EditKeepDumpDays", SettingControl::CountBox, nullptr,
     &TDumpLoadSettings::EditKeepDumpDays},
    {"EditKeepHistoryDays", "EditKeepHistoryDays", SettingControl::CountBox, nullptr,
     &TDumpLoadSettings::EditKeepHistoryDays},
    {"EditAlertCommand", "EditAlertCommand", SettingControl::LineEdit, nullptr,
     &TDumpLoadSettings::EditAlertCommand},
    {"IsResumeChain", "CheckBoxResumeChain", SettingControl::CheckBox,
     &TDumpLoadSettings::IsResumeChain},
    {"IsCheckHeader", "CheckBoxCheckHeader", SettingControl::CheckBox,
     &TDumpLoadSettings::IsCheckHeader},
    {"EditLogonRefusals", "EditLogonRefusals", SettingControl::CountBox, nullptr,
     &TDumpLoadSettings::EditLogonRefusals},
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
