#pragma once
// How an error that ends a command reaches the user: a box with the error icon, titled with
// the application's title, its text ended with a full stop. Every layer reports such errors
// here, so the box reads the same wherever the command began.
#include "platform/Prompts.h"

#include <string>

namespace tvr::platform {

// The application's title: the main window's caption and the title of its error boxes.
inline constexpr const char* kApplicationTitle = "Travenor(TVR)";

// `text` with a full stop added unless it already ends with one.
std::string withFullStop(const std::string& text);

// `owner` owns the box (a window, or none).
void reportCommandError(const std::string& text, PromptOwner owner = nullptr);

}  // namespace tvr::platform
