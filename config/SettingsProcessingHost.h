#pragma once
// What the start of processing and the worker need of the configuration: the logons, the
// saving of the settings and the live settings at the moment they are read.
#include "config/LiveSettings.h"
#include "config/Logons.h"
#include "engine/ProcessingHost.h"
#include "platform/Registry.h"

namespace tvr::config {

class TSettingsProcessingHost final : public engine::TProcessingHost {
public:
    // Nothing is owned; all must outlive the host.
    TSettingsProcessingHost(TLogons& logons, LiveSettings& live, platform::Registry& registry);

    void LogonMain() override;
    void LogonReserve() override;
    // SaveSettings of the settings store. A registry file that cannot be written throws its
    // RegistryError only after the dump and load folders are made; an empty folder throws
    // SettingsError "Unable to create directory" instead. Both carry the text the user sees.
    void SaveSettings() override;
    engine::TStartSettings StartSettings() const override;
    std::pair<std::string, std::string> ServerNames() const override;
    engine::TPassSettings PassSettings() const override;
    // The ledger beside the registry file the settings come from: the profile's own.
    std::string LedgerFile() const override;

private:
    TLogons& logons_;
    LiveSettings& live_;
    platform::Registry& registry_;
};

}  // namespace tvr::config
