#pragma once
// Prompts shown as Qt message boxes, with the caption, text, buttons and icon asked for.
// Calls from other threads are carried out on the GUI thread, the caller waiting for the
// answer until releaseWaiters() (the windows going away) answers it with the default and
// closes its box. Without a QApplication the boxes are answered as the headless default does.
#include "platform/Prompts.h"

#include <QMessageBox>

#include <memory>
#include <optional>

namespace tvr::ui {

class QtPrompts final : public platform::Prompts {
public:
    QtPrompts();
    ~QtPrompts() override;
    QtPrompts(const QtPrompts&) = delete;
    QtPrompts& operator=(const QtPrompts&) = delete;

    platform::PromptReply messageBox(platform::PromptOwner owner, const std::string& text,
                                     const std::string& caption, platform::PromptButtons buttons,
                                     platform::PromptIcon icon) override;
    // A plain Yes/No box without an icon, as the questions of the program have always been.
    bool askYesNo(platform::PromptOwner owner, const std::string& text,
                  const std::string& caption) override;
    bool askYesNoDefaultNo(platform::PromptOwner owner, const std::string& text,
                           const std::string& caption) override;
    void beep() override;
    void releaseWaiters() override;

private:
    // messageBox with the button Enter presses (when none, the first: Ok or Yes).
    platform::PromptReply ask(platform::PromptOwner owner, const std::string& text,
                              const std::string& caption, platform::PromptButtons buttons,
                              platform::PromptIcon icon,
                              std::optional<platform::PromptReply> defaultButton);

    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// The box messageBox shows, not yet shown. `owner` is a QWidget* or nullptr. Enter presses
// `defaultButton`, or without one the first button (Ok or Yes).
std::unique_ptr<QMessageBox> makeMessageBox(
    platform::PromptOwner owner, const std::string& text, const std::string& caption,
    platform::PromptButtons buttons, platform::PromptIcon icon,
    std::optional<platform::PromptReply> defaultButton = std::nullopt);

// The answer for the button that closed a box; a box closed without a button (Escape or
// the title bar's close where no Cancel exists) answers Cancel, or No for a Yes/No box.
platform::PromptReply replyFor(int clickedButton, platform::PromptButtons buttons);

}  // namespace tvr::ui
