#include "config/SettingsStore.h"

#include "config/BooleanText.h"
#include "config/SettingsError.h"
#include "config/SettingsKeys.h"
#include "platform/Directories.h"
#include "platform/Environment.h"

namespace tvr::config {
namespace {

using platform::RegStatus;

// One setting entry and the field that holds it: a boolean or a text.
struct SettingField {
    std::string_view entry;
    bool TDumpLoadSettings::*flag = nullptr;
    std::string TDumpLoadSettings::*text = nullptr;
};

constexpr SettingField kFields[] = {
    {"IsReserv", &TDumpLoadSettings::IsReserv, nullptr},
    {"IsDumLoadBD", &TDumpLoadSettings::IsDumLoadBD, nullptr},
    {"IsClearLog", &TDumpLoadSettings::IsClearLog, nullptr},
    {"IsInterval", &TDumpLoadSettings::IsInterval, nullptr},
    {"EditInterval", nullptr, &TDumpLoadSettings::EditInterval},
    {"ComboDump", nullptr, &TDumpLoadSettings::ComboDump},
    {"EditPathDump", nullptr, &TDumpLoadSettings::EditPathDump},
    {"ComboLoad", nullptr, &TDumpLoadSettings::ComboLoad},
    {"EditPathLoad", nullptr, &TDumpLoadSettings::EditPathLoad},
    {"EditLogPath", nullptr, &TDumpLoadSettings::EditLogPath},
    {"EditErrorLogPath", nullptr, &TDumpLoadSettings::EditErrorLogPath},
};
static_assert(std::size(kFields) == kSettingEntries.size());

// The folder defaults sit below the Open Client folder, with this platform's separator.
constexpr std::string_view kDataSuffix = "/dmp/data";
constexpr std::string_view kLogSuffix = "/dmp/log";

// "ServerName" of `key` (created when missing) into `field`; a value that cannot be read
// leaves the field as it was. A key that cannot be created throws RegistryError.
void loadServerName(platform::Registry& registry, const std::string& key, LiveSettings& live,
                    std::string TDumpLoadSettings::*field) {
    registry.createKey(key);
    std::string name;
    if (registry.readText(key, "ServerName", name) == RegStatus::Ok)
        live.edit([&](TDumpLoadSettings& s) { s.*field = name; });
}

}  // namespace

void LoadSettings(platform::Registry& registry, LiveSettings& live, SettingsHost& host) {
    const std::string stored = platform::sybaseValue();
    const std::string dataFolder =
        platform::expandEnvironmentReferences(stored) + std::string(kDataSuffix);
    live.edit([&](TDumpLoadSettings& s) {
        s.EditPathDump = dataFolder;
        s.EditPathLoad = dataFolder;
    });

    loadServerName(registry, std::string(kSettingsBaseKey), live,
                   &TDumpLoadSettings::MainServerName);
    loadServerName(registry, reserveKeyPath(), live, &TDumpLoadSettings::ReservServerName);

    for (const SettingField& field : kFields) {
        const std::string key = settingKeyPath(field.entry);
        if (registry.keyExists(key)) {
            std::string text;
            if (registry.readDefaultText(key, text) != RegStatus::Ok)
                throw SettingsError("Unable to open key \"" + key + "\" and access value \"\"");
            if (field.flag) {
                const bool value = parseBooleanText(text);
                live.edit([&](TDumpLoadSettings& s) { s.*field.flag = value; });
            } else {
                live.edit([&](TDumpLoadSettings& s) { s.*field.text = text; });
            }
        } else if (field.text == &TDumpLoadSettings::EditLogPath) {
            // The log folders take SYBASE as stored, references unexpanded.
            live.edit(
                [&](TDumpLoadSettings& s) { s.EditLogPath = stored + std::string(kLogSuffix); });
        } else if (field.text == &TDumpLoadSettings::EditErrorLogPath) {
            // The error log goes beside the dumps by default, not beside the activity log.
            live.edit([&](TDumpLoadSettings& s) {
                s.EditErrorLogPath = stored + std::string(kDataSuffix);
            });
        }
        if (field.flag == &TDumpLoadSettings::IsReserv)
            host.setUseReserve(live.read(&TDumpLoadSettings::IsReserv));
    }

    const TDumpLoadSettings loaded = live.snapshot();
    host.showIntervalField(loaded.IsInterval);
    host.ApplySettings();
    host.setFolderPickerStarts(
        {loaded.EditLogPath, loaded.EditErrorLogPath, loaded.EditPathDump, loaded.EditPathLoad});
}

void SaveSettings(platform::Registry& registry, const LiveSettings& live) {
    const TDumpLoadSettings s = live.snapshot();
    // The main server's name is the main logon's to write, never a save's.
    registry.writeText(reserveKeyPath(), "ServerName", s.ReservServerName);
    for (const SettingField& field : kFields) {
        const std::string text = field.flag ? booleanText(s.*field.flag) : s.*field.text;
        registry.writeDefaultText(settingKeyPath(field.entry), text);
    }
    for (const std::string* folder : {&s.EditPathDump, &s.EditPathLoad}) {
        if (folder->empty()) throw SettingsError("Unable to create directory");
        platform::forceDirectories(*folder);
    }
}

}  // namespace tvr::config
