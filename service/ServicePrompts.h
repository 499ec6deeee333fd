#pragma once
// The boxes of a run without a window: nobody is there to answer them, so each becomes an
// error entry (both log files, and the error view, which the service echoes on standard
// error) and is answered as a box's OK would be; a question gets its default answer, No.
#include "platform/Prompts.h"

namespace tvr::service {

class ServicePrompts final : public platform::Prompts {
public:
    platform::PromptReply messageBox(platform::PromptOwner owner, const std::string& text,
                                     const std::string& caption, platform::PromptButtons buttons,
                                     platform::PromptIcon icon) override;
    bool askYesNo(platform::PromptOwner owner, const std::string& text,
                  const std::string& caption) override;
    void beep() override {}
};

}  // namespace tvr::service
