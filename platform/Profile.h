#pragma once
// The profile: one set of settings, logs, dump names and instance guard, so that one machine
// runs one program per database pair. Chosen once at start (--profile NAME) and read wherever
// those are named. The default profile is the one there always was: its registry file, log
// names and dump names are unchanged.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tvr::platform {

// The name that stands for the default profile, so that a service unit instance can name it.
inline constexpr const char* kDefaultProfileName = "default";
// The longest name: it goes into the tray hint, whose lines are short.
inline constexpr std::size_t kProfileNameLimit = 32;

// A profile name that cannot be used; what() says why.
class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One to kProfileNameLimit letters a-z A-Z, digits, '-' and '_': the name becomes part of
// file names, so nothing that could leave its folder or surprise a shell.
bool validProfileName(std::string_view name);

// Chooses the profile of this process; "default" chooses the default one. Throws ProfileError
// for a name validProfileName refuses. Call it first thing, before any file is named.
void setProfile(std::string_view name);
// The chosen profile's name; empty for the default profile.
const std::string& profileName();

// Where a profile's registry file lies, given the default profile's: a folder of its own,
// profiles/NAME beside it, holding a file of the same name. The default profile's is itself.
std::filesystem::path profileRegistryFile(const std::filesystem::path& defaultFile,
                                          const std::string& profile);

// The folder of the chosen profile's registry file, where its other own files belong.
std::filesystem::path profileFolder();

// `base` prefixed with the profile's name and '_', or `base` alone for the default profile:
// how log and dump file names of two profiles with the same database stay apart.
std::string profileQualified(const std::string& base);

}  // namespace tvr::platform
