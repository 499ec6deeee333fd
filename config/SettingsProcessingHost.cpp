#include "config/SettingsProcessingHost.h"

#include "config/SettingsStore.h"
#include "engine/ShippingLedger.h"
#include "engine/WatchRules.h"

#include <algorithm>

namespace tvr::config {

TSettingsProcessingHost::TSettingsProcessingHost(TLogons& logons, LiveSettings& live,
                                                 platform::Registry& registry)
    : logons_(logons), live_(live), registry_(registry) {}

void TSettingsProcessingHost::LogonMain() { logons_.LogonMain(); }

void TSettingsProcessingHost::LogonReserve() { logons_.LogonReserve(); }

// The settings store already makes the folders before it reports a registry file that could
// not be written, and reports an empty folder instead when both fail.
void TSettingsProcessingHost::SaveSettings() { config::SaveSettings(registry_, live_); }

engine::TStartSettings TSettingsProcessingHost::StartSettings() const {
    const TDumpLoadSettings s = live_.snapshot();
    return {s.IsDumLoadBD, s.ComboDump,    s.EditPathDump,
            s.ComboLoad,   s.EditPathLoad, s.IsResumeChain};
}

std::pair<std::string, std::string> TSettingsProcessingHost::ServerNames() const {
    const TDumpLoadSettings s = live_.snapshot();
    return {s.MainServerName, s.ReservServerName};
}

engine::TPassSettings TSettingsProcessingHost::PassSettings() const {
    const TDumpLoadSettings s = live_.snapshot();
    // A threshold typed by hand into the registry file that is not a number of minutes
    // takes its default instead of switching the alert off.
    const TDumpLoadSettings defaults;
    const auto minutes = [&](std::string TDumpLoadSettings::*field) {
        return engine::minutesSetting(s.*field, engine::minutesSetting(defaults.*field, 0));
    };
    return {
        s.IsClearLog, s.IsInterval, s.EditInterval, s.IsFullOnBreak,
        minutes(&TDumpLoadSettings::EditLagWarning), minutes(&TDumpLoadSettings::EditLagCritical),
        minutes(&TDumpLoadSettings::EditStallLimit), minutes(&TDumpLoadSettings::EditKeepDumpDays),
        minutes(&TDumpLoadSettings::EditKeepHistoryDays), s.EditAlertCommand, s.IsCheckHeader,
        // Never 0: a refused logon tried for ever is what locks a login.
        std::max(1, minutes(&TDumpLoadSettings::EditLogonRefusals))};
}

std::string TSettingsProcessingHost::LedgerFile() const {
    return engine::ledgerFileBeside(registry_.file()).string();
}

}  // namespace tvr::config
