#pragma once
// A Prompts implementation for tests: records every call and answers from a script.
#include "platform/Prompts.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tvr::platform {

struct PromptCall {
    enum class Kind { MessageBox, YesNo, Beep };
    Kind kind = Kind::Beep;
    PromptOwner owner = nullptr;
    std::string text;
    std::string caption;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    bool defaultNo = false;  // a question whose default button is No
};

class RecordingPrompts final : public Prompts {
public:
    // Installs itself as the process-wide service for its lifetime.
    RecordingPrompts();
    ~RecordingPrompts() override;
    RecordingPrompts(const RecordingPrompts&) = delete;
    RecordingPrompts& operator=(const RecordingPrompts&) = delete;

    // Replies are consumed in order; when none is scripted a box gets its default (Ok / No).
    void scriptReply(PromptReply reply);

    PromptReply messageBox(PromptOwner owner, const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon icon) override;
    bool askYesNo(PromptOwner owner, const std::string& text, const std::string& caption) override;
    bool askYesNoDefaultNo(PromptOwner owner, const std::string& text,
                           const std::string& caption) override;
    void beep() override;

    std::vector<PromptCall> calls() const;
    std::vector<PromptCall> boxes() const;  // message boxes and questions, beeps left out
    int beeps() const;
    void clear();

private:
    PromptReply nextReply(PromptReply fallback);
    bool question(PromptOwner owner, const std::string& text, const std::string& caption,
                  bool defaultNo);

    mutable std::mutex mutex_;
    std::vector<PromptCall> calls_;
    std::deque<PromptReply> replies_;
    Prompts* previous_ = nullptr;
};

}  // namespace tvr::platform
