#pragma once
// Message boxes, Yes/No questions and the default beep, behind one interface so that
// the core never touches a window and tests can answer every box with a scripted reply.
#include <string>

namespace tvr::platform {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Error, Warning, Information, Question };
enum class PromptReply { Ok, Cancel, Yes, No };

// An owner window, opaque to the core (a QWidget* in the Qt implementation).
// nullptr means "no owner window".
using PromptOwner = void*;

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual PromptReply messageBox(PromptOwner owner, const std::string& text,
                                   const std::string& caption, PromptButtons buttons,
                                   PromptIcon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(PromptOwner owner, const std::string& text,
                          const std::string& caption) = 0;
    // The same question with No as its default button, for a Yes that throws away what cannot
    // be had back: an Enter pressed out of habit answers No. Where no box is shown the plain
    // question does, whose unanswered default is No already.
    virtual bool askYesNoDefaultNo(PromptOwner owner, const std::string& text,
                                   const std::string& caption) {
        return askYesNo(owner, text, caption);
    }
    virtual void beep() = 0;
    // The windows are going away: a thread waiting for a box to be answered gets its
    // default answer now, and boxes asked for from other threads from here on are answered
    // without being shown. Nothing to do where no thread waits.
    virtual void releaseWaiters() {}
};

// The process-wide prompt service. Until one is installed, boxes are answered with
// their default (Ok / No) and written to standard error, so a headless run never blocks.
Prompts& prompts();
// Installs `p` (not owned) and returns the previous one; nullptr restores the default.
Prompts* setPrompts(Prompts* p);

}  // namespace tvr::platform
