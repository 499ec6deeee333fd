#include "config/StandbyStatus.h"

#include "config/SettingsStore.h"
#include "config/StandbyCheck.h"
#include "engine/ShippingLedger.h"
#include "platform/InstanceGuard.h"
#include "platform/Profile.h"
#include "platform/Registry.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace tvr::config {
namespace {

namespace fs = std::filesystem;

// The profiles whose settings file exists: the default one first, then the named ones.
std::vector<std::pair<std::string, fs::path>> profiles() {
    const fs::path defaultFile = platform::Registry::defaultFile();
    std::vector<std::pair<std::string, fs::path>> found;
    std::error_code error;
    if (fs::exists(defaultFile, error)) found.emplace_back("default", defaultFile);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(defaultFile.parent_path() / "profiles", error))
        if (platform::validProfileName(entry.path().filename().string()))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const fs::path file = platform::profileRegistryFile(defaultFile, name);
        if (fs::exists(file, error)) found.emplace_back(name, file);
    }
    return found;
}

// Whether a program holds the profile's single-instance guard.
bool running(const fs::path& registryFile) {
    fs::path guard = registryFile;
    guard += ".instance";
    return platform::InstanceGuard(guard).state() == platform::InstanceGuard::State::HeldElsewhere;
}

std::string pendingLoads(const platform::Registry& registry) {
    try {
        const TDumpLoadSettings s = readStoredSettings(registry);
        engine::TShippingPair pair{s.MainServerName, s.ComboDump,
                                   s.IsReserv ? s.ReservServerName : std::string(),
                                   s.IsReserv ? s.ComboLoad : std::string()};
        engine::TShippingLedger ledger(engine::ledgerFileBeside(registry.file()));
        ledger.Read();
        return std::to_string(engine::ledgerState(ledger.Entries(), pair.key()).pending().size());
    } catch (const std::exception&) {
        return "unknown";
    }
}

// The check's line without its performance data.
std::string verdict(const platform::Registry& registry) {
    const std::string line = standbyAnswer(registry, engine::HistoryClock::now()).line;
    return line.substr(0, line.find(" | "));
}

}  // namespace

std::optional<int> answerStatus(int argc, char** argv, std::ostream& out) {
    const std::vector<std::string> parameters(argv + std::min(argc, 1), argv + argc);
    if (std::find(parameters.begin(), parameters.end(), "--status") == parameters.end())
        return std::nullopt;
    const auto found = profiles();
    if (found.empty()) {
        out << "No profile is set up on this machine for this user\n" << std::flush;
        return kCheckUnknown;
    }
    for (const auto& [name, file] : found) {
        const platform::Registry registry(file);
        out << name << ": " << (running(file) ? "running" : "not running") << ", "
            << verdict(registry) << ", pending loads " << pendingLoads(registry) << "\n";
    }
    out << std::flush;
    return 0;
}

}  // namespace tvr::config
