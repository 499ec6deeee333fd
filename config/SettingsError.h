#pragma once
// An error of the settings store that its caller shows to the user: a stored setting that
// cannot be read, a folder that cannot be made. Registry file failures arrive as
// tvr::platform::RegistryError; both are std::runtime_error, whose what() is the text to show.
#include <stdexcept>
#include <string>

namespace tvr::config {

class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tvr::config
