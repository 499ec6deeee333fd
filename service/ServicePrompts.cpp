#include "service/ServicePrompts.h"

#include "client/LogFileNames.h"
#include "client/LogWriter.h"

namespace tvr::service {
namespace {

// Both logs, as the worker writes its own errors; before the log files are named only the
// error view (standard error) takes it.
void errorEntry(const std::string& text) {
    client::writeProgramError(text, {client::LogFileName(), client::ErrorLogFileName()}, true);
}

}  // namespace

platform::PromptReply ServicePrompts::messageBox(platform::PromptOwner, const std::string& text,
                                                 const std::string& caption,
                                                 platform::PromptButtons buttons,
                                                 platform::PromptIcon) {
    errorEntry(caption + ": " + text);
    switch (buttons) {
        case platform::PromptButtons::Ok:
        case platform::PromptButtons::OkCancel:
            return platform::PromptReply::Ok;
        case platform::PromptButtons::YesNo:
        case platform::PromptButtons::YesNoCancel:
            return platform::PromptReply::No;
    }
    return platform::PromptReply::Ok;
}

bool ServicePrompts::askYesNo(platform::PromptOwner, const std::string& text,
                              const std::string& caption) {
    errorEntry(caption + ": " + text + " (answered No)");
    return false;
}

}  // namespace tvr::service
