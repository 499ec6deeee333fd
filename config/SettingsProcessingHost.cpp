#include "config/SettingsProcessingHost.h"

#include "config/SettingsStore.h"

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
    return {s.IsDumLoadBD, s.ComboDump, s.EditPathDump, s.ComboLoad, s.EditPathLoad};
}

engine::TPassSettings TSettingsProcessingHost::PassSettings() const {
    const TDumpLoadSettings s = live_.snapshot();
    return {s.IsClearLog, s.IsInterval, s.EditInterval};
}

}  // namespace tvr::config
