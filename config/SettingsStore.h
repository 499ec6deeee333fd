#pragma once
// Moving the settings between the registry and their live copy.
#include "config/LiveSettings.h"
#include "platform/Registry.h"

#include <string>

namespace tvr::config {

// The folders the dialog's four folder pickers first open at.
struct FolderPickerStarts {
    std::string logPath;
    std::string errorLogPath;
    std::string dumpPath;
    std::string loadPath;
    bool operator==(const FolderPickerStarts&) const = default;
};

// What loading does to the windows beyond the settings themselves; the settings dialog
// and the main window implement it. Calls come on the loading thread, in this order.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // Right after IsReserv is known: the main window's UseReserve takes it, and the dialog
    // shows or hides its reserve-server group to match.
    virtual void setUseReserve(bool useReserve) = 0;
    // The interval field is visible exactly when IsInterval is true.
    virtual void showIntervalField(bool visible) = 0;
    // The settings are copied into the main window.
    virtual void ApplySettings() = 0;
    virtual void setFolderPickerStarts(const FolderPickerStarts& starts) = 0;
};

// Reads all settings into `live`, from one reading of the registry file, then sets
// UseReserve, the interval field, applies the settings and sets the folder pickers through
// `host`. Loading stops at the first setting that cannot be read: it throws SettingsError
// ("Unable to open key "<key>" and access value """ for a setting key without a text default
// value, "'<text>' is not a valid boolean value" for a boolean that is not one); the settings
// read so far stay in `live`, the rest keep their values, and nothing after that point happens
// (no ApplySettings). A registry file that cannot be read, parsed or written throws
// RegistryError the same way; so does a base or reserve key that cannot be created, which
// therefore ends loading before the settings are read. Creates those two keys when missing,
// never a setting key.
void LoadSettings(platform::Registry& registry, LiveSettings& live, SettingsHost& host);

// The settings as LoadSettings would load them, read without writing anything (a registry file
// or key that is missing gives the defaults), for a command that only reports. Throws as
// LoadSettings does for a setting or a file that cannot be read.
TDumpLoadSettings readStoredSettings(const platform::Registry& registry);

// Writes a snapshot of `live`: the reserve server name and every setting, each as the
// default value of its key, as one replacement of the registry file (all are stored or none,
// whatever happens to the process); then creates the dump folder and the load folder with
// their parents. An empty dump or load folder throws SettingsError "Unable to create
// directory" (the load folder is not attempted after an empty dump folder); other folders
// that cannot be made are not reported. A registry file that cannot be written does not stop
// the save: the folders are still made, and then RegistryError names the values not stored
// and says why. When both fail, the SettingsError is the one thrown. The live copy is never
// touched.
void SaveSettings(platform::Registry& registry, const LiveSettings& live);

}  // namespace tvr::config
