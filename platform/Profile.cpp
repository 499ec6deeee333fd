#include "platform/Profile.h"

#include "platform/Registry.h"

#include <algorithm>

namespace tvr::platform {
namespace {

std::string& chosenProfile() {
    static std::string name;
    return name;
}

bool nameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

}  // namespace

bool validProfileName(std::string_view name) {
    return !name.empty() && name.size() <= kProfileNameLimit &&
           std::all_of(name.begin(), name.end(), nameCharacter);
}

void setProfile(std::string_view name) {
    if (!validProfileName(name))
        throw ProfileError("profile name \"" + std::string(name) + "\" is not usable: use 1 to " +
                           std::to_string(kProfileNameLimit) + " letters, digits, - and _");
    chosenProfile() = name == kDefaultProfileName ? std::string() : std::string(name);
}

const std::string& profileName() { return chosenProfile(); }

std::filesystem::path profileRegistryFile(const std::filesystem::path& defaultFile,
                                          const std::string& profile) {
    if (profile.empty()) return defaultFile;
    return defaultFile.parent_path() / "profiles" / profile / defaultFile.filename();
}

std::filesystem::path profileFolder() { return Registry::defaultFile().parent_path(); }

std::string profileQualified(const std::string& base) {
    const std::string& profile = profileName();
    return profile.empty() ? base : profile + "_" + base;
}

}  // namespace tvr::platform
