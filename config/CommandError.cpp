#include "config/CommandError.h"

#include "platform/Prompts.h"

namespace tvr::config {

std::string withFullStop(const std::string& text) {
    return !text.empty() && text.back() == '.' ? text : text + ".";
}

void reportCommandError(const std::string& text) {
    platform::prompts().messageBox(nullptr, withFullStop(text), kErrorBoxTitle,
                                   platform::PromptButtons::Ok, platform::PromptIcon::Error);
}

}  // namespace tvr::config
