#pragma once
// The start of the program up to its event loop, in the order that matters: the
// single-instance guard, the application title, the main window, the check for an Open
// Client installation. The steps that come later (the settings dialog, whose creation loads
// the settings; the About box; the log files; the command-line logon; the first setup) slot
// in between begin()'s check and run(), in that order, as they are built.
#include "platform/InstanceGuard.h"

#include <QMainWindow>

#include <filesystem>
#include <memory>

namespace tvr::ui {

// The application's title and the main window's caption.
inline constexpr const char* kApplicationTitle = "Travenor(TVR)";

class ProgramStart {
public:
    enum class Outcome {
        AnotherInstanceRuns,  // another instance holds the guard: end at once, silently
        OpenClientMissing,    // the user has been told; end without showing the main window
        Ready,                // the main window exists; run() shows it and runs the loop
    };

    explicit ProgramStart(
        std::filesystem::path guardFile = platform::InstanceGuard::defaultLockFile());
    ~ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    // Runs the steps before the event loop. Needs a QApplication; boxes go through the
    // process-wide prompt service. Call once.
    Outcome begin();

    // The main window once begin() has created it, else nullptr.
    QMainWindow* mainWindow() const { return mainWindow_.get(); }

    // After Ready: shows the main window and runs the event loop until the application
    // quits; its exit code.
    int run();

private:
    std::filesystem::path guardFile_;
    // Held until the program ends: its existence is what tells a later start that this
    // instance runs. Released after the windows are gone.
    std::unique_ptr<platform::InstanceGuard> guard_;
    std::unique_ptr<QMainWindow> mainWindow_;
};

}  // namespace tvr::ui
