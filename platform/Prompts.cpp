#include "platform/Prompts.h"

#include <atomic>
#include <cstdio>

namespace tvr::platform {
namespace {

class HeadlessPrompts final : public Prompts {
public:
    PromptReply messageBox(PromptOwner, const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        switch (buttons) {
            case PromptButtons::Ok:
            case PromptButtons::OkCancel:
                return PromptReply::Ok;
            case PromptButtons::YesNo:
            case PromptButtons::YesNoCancel:
                return PromptReply::No;
        }
        return PromptReply::Ok;
    }
    bool askYesNo(PromptOwner, const std::string& text, const std::string& caption) override {
        std::fprintf(stderr, "[%s] %s (answered No)\n", caption.c_str(), text.c_str());
        return false;
    }
    void beep() override {}
};

HeadlessPrompts& headless() {
    static HeadlessPrompts instance;
    return instance;
}

std::atomic<Prompts*> current{nullptr};

}  // namespace

Prompts& prompts() {
    Prompts* p = current.load();
    return p ? *p : headless();
}

Prompts* setPrompts(Prompts* p) { return current.exchange(p); }

}  // namespace tvr::platform
