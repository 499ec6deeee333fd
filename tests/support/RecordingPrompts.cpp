#include "tests/support/RecordingPrompts.h"

#include <algorithm>

namespace tvr::platform {

RecordingPrompts::RecordingPrompts() : previous_(setPrompts(this)) {}

RecordingPrompts::~RecordingPrompts() { setPrompts(previous_); }

void RecordingPrompts::scriptReply(PromptReply reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(reply);
}

PromptReply RecordingPrompts::nextReply(PromptReply fallback) {
    if (replies_.empty()) return fallback;
    PromptReply r = replies_.front();
    replies_.pop_front();
    return r;
}

PromptReply RecordingPrompts::messageBox(PromptOwner owner, const std::string& text,
                                         const std::string& caption, PromptButtons buttons,
                                         PromptIcon icon) {
    std::lock_guard lock(mutex_);
    calls_.push_back({PromptCall::Kind::MessageBox, owner, text, caption, buttons, icon});
    const bool yesNo = buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel;
    return nextReply(yesNo ? PromptReply::No : PromptReply::Ok);
}

bool RecordingPrompts::question(PromptOwner owner, const std::string& text,
                                const std::string& caption, bool defaultNo) {
    std::lock_guard lock(mutex_);
    // A question is a plain Yes/No box without an icon, as the Qt implementation shows it.
    calls_.push_back({PromptCall::Kind::YesNo, owner, text, caption, PromptButtons::YesNo,
                      PromptIcon::None, defaultNo});
    return nextReply(PromptReply::No) == PromptReply::Yes;
}

bool RecordingPrompts::askYesNo(PromptOwner owner, const std::string& text,
                                const std::string& caption) {
    return question(owner, text, caption, false);
}

bool RecordingPrompts::askYesNoDefaultNo(PromptOwner owner, const std::string& text,
                                         const std::string& caption) {
    return question(owner, text, caption, true);
}

void RecordingPrompts::beep() {
    std::lock_guard lock(mutex_);
    calls_.push_back(
        {PromptCall::Kind::Beep, nullptr, {}, {}, PromptButtons::Ok, PromptIcon::None});
}

std::vector<PromptCall> RecordingPrompts::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<PromptCall> RecordingPrompts::boxes() const {
    std::lock_guard lock(mutex_);
    std::vector<PromptCall> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [](const PromptCall& c) { return c.kind != PromptCall::Kind::Beep; });
    return out;
}

int RecordingPrompts::beeps() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [](const PromptCall& c) {
        return c.kind == PromptCall::Kind::Beep;
    }));
}

void RecordingPrompts::clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    replies_.clear();
}

}  // namespace tvr::platform
