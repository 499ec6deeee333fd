#include "platform/CommandError.h"

namespace tvr::platform {

std::string withFullStop(const std::string& text) {
    return !text.empty() && text.back() == '.' ? text : text + ".";
}

void reportCommandError(const std::string& text, PromptOwner owner) {
    prompts().messageBox(owner, withFullStop(text), kApplicationTitle, PromptButtons::Ok,
                         PromptIcon::Error);
}

}  // namespace tvr::platform
