#include "config/SettingsStore.h"

#include "config/BooleanText.h"
#include "config/SettingsError.h"
#include "config/SettingsKeys.h"
#include "platform/Directories.h"
#include "platform/Environment.h"

#include <functional>

namespace tvr::config {
namespace {

using platform::RegStatus;

// The folder defaults sit below the Open Client folder, with this platform's separator.
constexpr std::string_view kDataSuffix = "/dmp/data";
constexpr std::string_view kLogSuffix = "/dmp/log";

// "ServerName" of `key` into `field`; a value that cannot be read leaves the field as it was.
void loadServerName(const platform::RegistryView& view, const std::string& key, LiveSettings& live,
                    std::string TDumpLoadSettings::*field) {
    std::string name;
    if (view.readText(key, "ServerName", name) == RegStatus::Ok)
        live.edit([&](TDumpLoadSettings& s) { s.*field = name; });
}

// The text of a failed save: the values not stored, named below the key that holds them,
// and why.
std::string notStoredText(const std::vector<std::string>& names, const std::string& why) {
    std::string text = "Settings not stored below \"" +
                       reserveKeyPath().substr(0, reserveKeyPath().size() - 1) + "\": ";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text + ".\n" + why;
}

}  // namespace

namespace {

// The SYBASE-based folder defaults that hold before any setting is read.
void setDataFolderDefaults(LiveSettings& live, const std::string& expanded) {
    live.edit([&](TDumpLoadSettings& s) {
        for (const SettingField& field : kSettingFields)
            if (field.fallback == SettingDefault::SybaseData)
                s.*field.text = expanded + std::string(kDataSuffix);
    });
}

// Every setting of `view` into `live`, in the table's order; `useReserveKnown` is called as
// soon as IsReserv is.
void readSettingFields(const platform::RegistryView& view, const std::string& stored,
                       LiveSettings& live, const std::function<void(bool)>& useReserveKnown) {
    for (const SettingField& field : kSettingFields) {
        const std::string key = settingKeyPath(field.entry);
        if (view.keyExists(key)) {
            std::string text;
            if (view.readDefaultText(key, text) != RegStatus::Ok)
                throw SettingsError("Unable to open key \"" + key + "\" and access value \"\"");
            if (field.flag) {
                const bool value = parseBooleanText(text);
                live.edit([&](TDumpLoadSettings& s) { s.*field.flag = value; });
            } else {
                live.edit([&](TDumpLoadSettings& s) { s.*field.text = text; });
            }
        } else if (field.fallback == SettingDefault::SybaseLog) {
            // The log folders take SYBASE as stored, references unexpanded.
            live.edit(
                [&](TDumpLoadSettings& s) { s.*field.text = stored + std::string(kLogSuffix); });
        } else if (field.fallback == SettingDefault::SybaseLogData) {
            // The error log goes beside the dumps by default, not beside the activity log.
            live.edit(
                [&](TDumpLoadSettings& s) { s.*field.text = stored + std::string(kDataSuffix); });
        }
        if (field.flag == &TDumpLoadSettings::IsReserv)
            useReserveKnown(live.read(&TDumpLoadSettings::IsReserv));
    }
}

}  // namespace

void LoadSettings(platform::Registry& registry, LiveSettings& live, SettingsHost& host) {
    const std::string stored = platform::sybaseValue();
    setDataFolderDefaults(live, platform::expandEnvironmentReferences(stored));

    // One reading of the file serves every setting. The base and reserve keys are opened with
    // creation; only when either is missing is the file written, and then read once more.
    const std::string baseKey(kSettingsBaseKey);
    const std::string reserveKey = reserveKeyPath();
    platform::RegistryView view = registry.read();
    if (!view.keyExists(baseKey) || !view.keyExists(reserveKey)) {
        platform::RegistryWrites create;
        create.createKey(baseKey);
        create.createKey(reserveKey);
        registry.apply(create);
        view = registry.read();
    }
    loadServerName(view, baseKey, live, &TDumpLoadSettings::MainServerName);
    loadServerName(view, reserveKey, live, &TDumpLoadSettings::ReservServerName);
    readSettingFields(view, stored, live, [&](bool useReserve) { host.setUseReserve(useReserve); });

    const TDumpLoadSettings loaded = live.snapshot();
    host.showIntervalField(loaded.IsInterval);
    host.ApplySettings();
    host.setFolderPickerStarts(
        {loaded.EditLogPath, loaded.EditErrorLogPath, loaded.EditPathDump, loaded.EditPathLoad});
}

TDumpLoadSettings readStoredSettings(const platform::Registry& registry) {
    const std::string stored = platform::sybaseValue();
    LiveSettings live;
    setDataFolderDefaults(live, platform::expandEnvironmentReferences(stored));
    const platform::RegistryView view = registry.read();
    loadServerName(view, std::string(kSettingsBaseKey), live, &TDumpLoadSettings::MainServerName);
    loadServerName(view, reserveKeyPath(), live, &TDumpLoadSettings::ReservServerName);
    readSettingFields(view, stored, live, [](bool) {});
    return live.snapshot();
}

void SaveSettings(platform::Registry& registry, const LiveSettings& live) {
    const TDumpLoadSettings s = live.snapshot();
    // The reserve server's name, then every setting, as one replacement of the file:
    // a crash stores all of them or none. The main server's name is the main logon's to
    // write, never a save's.
    platform::RegistryWrites writes;
    std::vector<std::string> names;
    writes.writeText(reserveKeyPath(), "ServerName", s.ReservServerName);
    names.emplace_back("ServerName");
    for (const SettingField& field : kSettingFields) {
        writes.writeDefaultText(settingKeyPath(field.entry),
                                field.flag ? booleanText(s.*field.flag) : s.*field.text);
        names.emplace_back(field.entry);
    }
    // A registry that cannot be written does not stop the save: the folders are still made,
    // and the failure is reported once, at the end.
    std::vector<std::string> notStored;
    std::string why;
    try {
        const std::vector<RegStatus> statuses = registry.apply(writes);
        for (std::size_t i = 0; i < statuses.size(); ++i)
            if (statuses[i] != RegStatus::Ok) notStored.push_back(names[i]);
        why = "The registry file cannot hold their names.";
    } catch (const platform::RegistryError& e) {
        notStored = names;
        why = e.what();
    }
    for (const std::string* folder : {&s.EditPathDump, &s.EditPathLoad}) {
        if (folder->empty()) throw SettingsError("Unable to create directory");
        platform::forceDirectories(*folder);
    }
    if (!notStored.empty())
        throw platform::RegistryError(registry.file(), 0, notStoredText(notStored, why));
}

}  // namespace tvr::config
