#pragma once
// The start of the program up to its event loop, in the order that matters: the
// single-instance guard, the application title, the main window, the check for an Open
// Client installation, the settings dialog (whose creation loads the settings), the About
// box, the log files, the command-line logon; then either the first setup of the workstation
// in the settings dialog or the event loop; and the shutdown, the guard released last.
#include "engine/ProcessingControl.h"
#include "platform/InstanceGuard.h"
#include "platform/InstanceRequests.h"

#include <QMainWindow>
#include <QSocketNotifier>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tvr::platform {
class Registry;
}
namespace tvr::config {
class LiveSettings;
class LogonDialogs;
class TLogons;
class TSettingsProcessingHost;
struct LogFileNames;
}  // namespace tvr::config

namespace tvr::ui {

class QtLogonDialogs;
class TFormDumpLoad;
class TFormSetting;

class ProgramStart {
public:
    enum class Outcome {
        AnotherInstanceRuns,  // another instance holds the guard and was asked to show itself
        OpenClientMissing,    // the user has been told; end without showing the main window
        LogonCancelled,       // the command-line logon was abandoned: end without a window
        Ready,                // run() does the first setup or runs the event loop
    };

    // `parameters`: the command line without the program's name (config::takeCommandLine).
    explicit ProgramStart(
        std::vector<std::string> parameters = {},
        std::filesystem::path guardFile = platform::InstanceGuard::defaultLockFile());
    ~ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    // What the automatic start of "-A" starts: a normal run, or a re-seed that the command
    // line asked for ("--reseed"), without a question. Before begin().
    void setAutomaticStartKind(engine::StartKind kind) { automaticStartKind_ = kind; }
    // An unattended start ("-A"): a logon that fails is not asked about in the logon dialog,
    // so that begin() ends with LogonCancelled instead of waiting for someone. Before begin().
    void setUnattended(bool unattended) { unattended_ = unattended; }

    // Runs the steps before the event loop. Needs a QApplication; boxes go through the
    // process-wide prompt service. Call once.
    Outcome begin();

    // After Ready: on a workstation whose first setup is not done, shows the settings dialog
    // modally and returns when it closes, the main window never shown; otherwise shows the
    // main window (unless the automatic start keeps it in the tray) and runs the event loop
    // until the application quits. The exit code.
    int run();

    // The windows once begin() has created them, else nullptr.
    QMainWindow* mainWindow() const;
    TFormDumpLoad* formDumpLoad() const { return mainWindow_.get(); }
    TFormSetting* settingsDialog() const { return settings_.get(); }

    // The two log files of this run, fixed by begin() (empty before).
    const std::string& logFileName() const;
    const std::string& errorLogFileName() const;

private:
    void createSettingsDialog();
    void OpenLogs();
    // The watch of the last passes, before this start has run any.
    void showWatchFromHistory();
    // A later start asks this one to show its window: listened for while the guard is held;
    // the request is logged and the window brought up from the tray.
    void listenForLaterStarts();
    void showOnRequest();

    std::vector<std::string> parameters_;
    std::filesystem::path guardFile_;
    engine::StartKind automaticStartKind_ = engine::StartKind::Normal;
    bool unattended_ = false;
    // Destroyed in the reverse order: the windows first (the settings dialog before the main
    // window, which joins a worker still running and so needs the settings behind it), then
    // what they use, and the guard last, so that a new instance can start only once this
    // one has let go of everything.
    std::unique_ptr<platform::InstanceGuard> guard_;
    std::unique_ptr<platform::RequestListener> requests_;
    std::unique_ptr<QSocketNotifier> requestWatch_;
    std::unique_ptr<platform::Registry> registry_;
    std::unique_ptr<config::LiveSettings> live_;
    std::unique_ptr<config::LogFileNames> logFiles_;
    std::unique_ptr<config::LogonDialogs> logonDialogs_;
    std::unique_ptr<config::TLogons> logons_;
    std::unique_ptr<config::TSettingsProcessingHost> host_;
    std::unique_ptr<TFormDumpLoad> mainWindow_;
    std::unique_ptr<TFormSetting> settings_;
};

}  // namespace tvr::ui
