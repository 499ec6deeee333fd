#pragma once
// The process environment as the program uses it: the Open Client folder named by SYBASE
// and the expansion of %NAME% references the way the Windows shell does it.
#include <optional>
#include <string>

namespace tvr::platform {

// The variable's value, or nothing when it is not set.
std::optional<std::string> environmentValue(const std::string& name);

// The value of SYBASE as stored (references not expanded); empty when not set.
std::string sybaseValue();

// `text` with every %NAME% replaced by that variable's value. A name that is not set,
// and a lone % without a closing one, stay as written.
std::string expandEnvironmentReferences(const std::string& text);

// True when SYBASE is set to a non-empty value, of any length: start-up only needs to know
// that an Open Client folder is named, and a long path names one as well as a short one.
bool sybaseInstalled();

}  // namespace tvr::platform
