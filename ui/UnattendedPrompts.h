#pragma once
// The boxes of an unattended start ("-A"): the window is hidden in the tray and nobody may be
// there to answer, so a box must never hold up the worker or the start. Each box that is not
// a question asked at the window becomes an error entry (both logs, both views, and a line on
// standard error, where an entry has nowhere else to go before the logs are named), a
// notification of the tray icon, and the answer a box's OK (or a question's No) would give.
// A question on the GUI thread once the event loop runs comes from someone at the tray menu
// or the window (Exit, Stop) and is shown as always; so is any box while the main window is on
// screen.
#include "platform/Prompts.h"

#include <functional>
#include <string>

namespace tvr::ui {

class UnattendedPrompts final : public platform::Prompts {
public:
    // `shown` answers what a person is there for (not owned, outlives this object).
    explicit UnattendedPrompts(platform::Prompts& shown);

    platform::PromptReply messageBox(platform::PromptOwner owner, const std::string& text,
                                     const std::string& caption, platform::PromptButtons buttons,
                                     platform::PromptIcon icon) override;
    bool askYesNo(platform::PromptOwner owner, const std::string& text,
                  const std::string& caption) override;
    bool askYesNoDefaultNo(platform::PromptOwner owner, const std::string& text,
                           const std::string& caption) override;
    void beep() override { shown_.beep(); }
    void releaseWaiters() override { shown_.releaseWaiters(); }

private:
    // True when a box asked now would be seen: on the GUI thread inside the event loop, and a
    // question or a main window on screen.
    static bool someoneThere(bool question);
    // The entry, the line on standard error and the tray's notification.
    static void tell(const std::string& caption, const std::string& text);

    platform::Prompts& shown_;
};

}  // namespace tvr::ui
