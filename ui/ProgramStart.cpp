#include "ui/ProgramStart.h"

#include "platform/Environment.h"
#include "platform/Prompts.h"
#include "ui/FormDumpLoad.h"

#include <QApplication>

#include <cstdio>

namespace tvr::ui {
namespace {

// The main window; its creation handler sets its caption, state, commands and tray icon.
std::unique_ptr<QMainWindow> createMainWindow() { return std::make_unique<TFormDumpLoad>(); }

}  // namespace

ProgramStart::ProgramStart(std::filesystem::path guardFile) : guardFile_(std::move(guardFile)) {}

ProgramStart::~ProgramStart() = default;

ProgramStart::Outcome ProgramStart::begin() {
    guard_ = std::make_unique<platform::InstanceGuard>(guardFile_);
    if (guard_->state() == platform::InstanceGuard::State::HeldElsewhere) {
        // Nothing is shown and the running instance is left as it is.
        guard_.reset();
        return Outcome::AnotherInstanceRuns;
    }
    if (guard_->state() == platform::InstanceGuard::State::Failed) {
        // A guard that cannot be had does not keep the program from running; the lock
        // file's problem is worth a line for whoever looks.
        std::fprintf(stderr, "Travenor: no single-instance guard: %s\n", guard_->error().c_str());
    }

    // The application's name, not its display name: Qt would append a display name to the
    // caption of every box ("Message", "Error"), which must read exactly as they are.
    QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));

    mainWindow_ = createMainWindow();

    if (!platform::sybaseInstalled()) {
        platform::prompts().messageBox(nullptr, "Your need install Sybase", "Message",
                                       platform::PromptButtons::Ok, platform::PromptIcon::None);
        return Outcome::OpenClientMissing;
    }
    return Outcome::Ready;
}

int ProgramStart::run() {
    mainWindow_->show();
    return QApplication::exec();
}

}  // namespace tvr::ui
