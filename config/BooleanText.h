#pragma once
// Booleans as the registry stores them: "-1" for true and "0" for false.
#include <string>

namespace tvr::config {

std::string booleanText(bool value);

// "0" (or any other number equal to zero) is false, any other number is true, and the
// words True and False are taken in any case; blanks around the text are allowed. Anything
// else throws SettingsError "'<text>' is not a valid boolean value".
bool parseBooleanText(const std::string& text);

}  // namespace tvr::config
