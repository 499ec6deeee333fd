#include "config/SettingsProcessingHost.h"

#include "config/SettingsError.h"
#include "config/SettingsStore.h"
#include "platform/Directories.h"
#include "platform/RegistryError.h"

namespace tvr::config {

TSettingsProcessingHost::TSettingsProcessingHost(TLogons& logons, LiveSettings& live,
                                                 platform::Registry& registry)
    : logons_(logons), live_(live), registry_(registry) {}

void TSettingsProcessingHost::LogonMain() { logons_.LogonMain(); }

void TSettingsProcessingHost::LogonReserve() { logons_.LogonReserve(); }

void TSettingsProcessingHost::SaveSettings() {
    try {
        config::SaveSettings(registry_, live_);
    } catch (const platform::RegistryError&) {
        // The start goes on from the values in memory, so its folders must exist all the
        // same; an empty one is the error that counts then.
        const TDumpLoadSettings s = live_.snapshot();
        for (const std::string* folder : {&s.EditPathDump, &s.EditPathLoad}) {
            if (folder->empty()) throw SettingsError("Unable to create directory");
            platform::forceDirectories(*folder);
        }
        throw;
    }
}

engine::TStartSettings TSettingsProcessingHost::StartSettings() const {
    const TDumpLoadSettings s = live_.snapshot();
    return {s.IsDumLoadBD, s.ComboDump, s.EditPathDump, s.ComboLoad, s.EditPathLoad};
}

engine::TPassSettings TSettingsProcessingHost::PassSettings() const {
    const TDumpLoadSettings s = live_.snapshot();
    return {s.IsClearLog, s.IsInterval, s.EditInterval};
}

}  // namespace tvr::config
