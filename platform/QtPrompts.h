#pragma once
// Prompts shown as Qt message boxes, with the caption, text, buttons and icon asked for.
// Calls from other threads are carried out on the GUI thread, the caller waiting for the
// answer. Without a QApplication the boxes are answered as the headless default does.
#include "platform/Prompts.h"

#include <QMessageBox>

#include <memory>

namespace tvr::platform {

class QtPrompts final : public Prompts {
public:
    PromptReply messageBox(PromptOwner owner, const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon icon) override;
    // A plain Yes/No box without an icon, as the questions of the program have always been.
    bool askYesNo(PromptOwner owner, const std::string& text, const std::string& caption) override;
    void beep() override;
};

// The box messageBox shows, not yet shown. `owner` is a QWidget* or nullptr.
std::unique_ptr<QMessageBox> makeMessageBox(PromptOwner owner, const std::string& text,
                                            const std::string& caption, PromptButtons buttons,
                                            PromptIcon icon);

// The answer for the button that closed a box; a box closed without a button (Escape or
// the title bar's close where no Cancel exists) answers Cancel, or No for a Yes/No box.
PromptReply replyFor(int clickedButton, PromptButtons buttons);

}  // namespace tvr::platform
