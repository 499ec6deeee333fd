#pragma once
// How an error that escapes a command reaches the user: a box with the error icon, titled
// with the application's title, its text ended with a full stop.
#include <string>

namespace tvr::config {

inline constexpr const char* kErrorBoxTitle = "Travenor(TVR)";

// `text` with a full stop added unless it already ends with one.
std::string withFullStop(const std::string& text);

void reportCommandError(const std::string& text);

}  // namespace tvr::config
