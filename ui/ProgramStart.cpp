#include "ui/ProgramStart.h"

#include "client/LogBacklog.h"
#include "client/LogFileNames.h"
#include "client/LogSink.h"
#include "client/LogWriter.h"
#include "config/ApplySettings.h"
#include "config/LiveSettings.h"
#include "config/Logons.h"
#include "config/ReverseRoles.h"
#include "config/RunLogs.h"
#include "config/SettingsProcessingHost.h"
#include "engine/PassHistory.h"
#include "engine/PassWatch.h"
#include "engine/ShippingLedger.h"
#include "engine/WatchRules.h"
#include "platform/CommandError.h"
#include "platform/Directories.h"
#include "platform/Environment.h"
#include "platform/InstanceRequests.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "ui/FormConnect.h"
#include "ui/FormDumpLoad.h"
#include "ui/FormSetting.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include <cstdio>

namespace tvr::ui {
namespace {

// The main window; its creation handler sets its caption, state, commands and tray icon.
std::unique_ptr<TFormDumpLoad> createMainWindow() { return std::make_unique<TFormDumpLoad>(); }

}  // namespace

ProgramStart::ProgramStart(std::vector<std::string> parameters, std::filesystem::path guardFile)
    : parameters_(std::move(parameters)), guardFile_(std::move(guardFile)) {}

ProgramStart::~ProgramStart() = default;

QMainWindow* ProgramStart::mainWindow() const { return mainWindow_.get(); }

const std::string& ProgramStart::logFileName() const {
    static const std::string none;
    return logFiles_ ? logFiles_->activity : none;
}

const std::string& ProgramStart::errorLogFileName() const {
    static const std::string none;
    return logFiles_ ? logFiles_->error : none;
}

void ProgramStart::listenForLaterStarts() {
    requests_ =
        std::make_unique<platform::RequestListener>(platform::requestSocketFile(guardFile_));
    if (!requests_->listening()) {
        std::fprintf(stderr, "Travenor: a second start cannot reach this one: %s\n",
                     requests_->error().c_str());
        return;
    }
    requestWatch_ =
        std::make_unique<QSocketNotifier>(requests_->descriptor(), QSocketNotifier::Read);
    QObject::connect(requestWatch_.get(), &QSocketNotifier::activated, [this] { showOnRequest(); });
}

void ProgramStart::showOnRequest() {
    if (!requests_->takeRequest()) return;
    try {
        client::PrintToLog(
            "A second start of Travenor asked to show this window  " + client::logTimeNow(),
            logFileName());
    } catch (const client::LogFileError&) {
        // The window still comes up; the log's trouble shows with its next entry.
    }
    // During the first setup the settings dialog stands in for the main window.
    if (settings_ && settings_->isVisible()) {
        settings_->raise();
        settings_->activateWindow();
    } else if (mainWindow_) {
        mainWindow_->TrayMonitoringClick();
    }
}

ProgramStart::Outcome ProgramStart::begin() {
    guard_ = std::make_unique<platform::InstanceGuard>(guardFile_);
    if (guard_->state() == platform::InstanceGuard::State::HeldElsewhere) {
        // Nothing is shown here; the running instance is asked to bring its window up, where
        // the user who started this one will look for it.
        if (!platform::askRunningInstanceToShow(platform::requestSocketFile(guardFile_))) {
            // A service (tvr --service) holds the guard and has no window to show: without a
            // word the start would seem to do nothing at all.
            std::fprintf(stderr,
                         "Travenor: another Travenor runs with these settings and has no window "
                         "to show (a service?); its guard is %s\n",
                         guardFile_.c_str());
        }
        guard_.reset();
        return Outcome::AnotherInstanceRuns;
    }
    if (guard_->held()) listenForLaterStarts();
    if (guard_->state() == platform::InstanceGuard::State::Failed) {
        // A guard that cannot be had does not keep the program from running; the lock
        // file's problem is worth a line for whoever looks.
        std::fprintf(stderr, "Travenor: no single-instance guard: %s\n", guard_->error().c_str());
    }

    // The application's name, not its display name: Qt would append a display name to the
    // caption of every box ("Message", "Error"), which must read exactly as they are.
    QCoreApplication::setApplicationName(QString::fromUtf8(platform::kApplicationTitle));

    mainWindow_ = createMainWindow();

    if (!platform::sybaseInstalled()) {
        platform::prompts().messageBox(nullptr, "Your need install Sybase", "Message",
                                       platform::PromptButtons::Ok, platform::PromptIcon::None);
        return Outcome::OpenClientMissing;
    }

    createSettingsDialog();
    mainWindow_->aboutBox();
    OpenLogs();

    if (!parameters_.empty()) {
        logons_->StartupLogon(parameters_);
        if (mainWindow_->connections().LogonPending) return Outcome::LogonCancelled;
        settings_->RefreshMainDatabases();
    }
    return Outcome::Ready;
}

void ProgramStart::createSettingsDialog() {
    registry_ = std::make_unique<platform::Registry>();
    live_ = std::make_unique<config::LiveSettings>();
    logFiles_ = std::make_unique<config::LogFileNames>();
    if (unattended_)
        logonDialogs_ = std::make_unique<config::NoLogonDialogs>();
    else
        logonDialogs_ = std::make_unique<QtLogonDialogs>();
    TFormDumpLoad* window = mainWindow_.get();
    logons_ =
        std::make_unique<config::TLogons>(window->connections(), window->flags(), window->worker(),
                                          *window, *live_, *registry_, *logonDialogs_, *logFiles_);
    config::TLogons* logons = logons_.get();
    logons_->SetResetReserveInfo([window] { window->BindLogViews(); });
    window->setReserveReset([logons] { logons->ResetReserveInfo(); });
    logons_->SetAutomaticStart(
        [this, window] { window->control().StartProcessing(automaticStartKind_); });
    host_ = std::make_unique<config::TSettingsProcessingHost>(*logons_, *live_, *registry_);
    mainWindow_->setProcessingHost(*host_);

    // Its creation loads the settings and applies them to the main window.
    settings_ = std::make_unique<TFormSetting>(window->connections(), window->flags(), *window,
                                               *live_, *registry_, *logons_, *logFiles_);
    settings_->setLogClearing([window] { window->ClearErrorLog(); },
                              [window] { window->ClearLog(); });
    settings_->setCentredOn(window);
    TFormSetting* settings = settings_.get();
    mainWindow_->setSettingsCommand([settings] { settings->exec(); });
    mainWindow_->setReverseCommand([this, window, settings] {
        config::reverseRoles(*live_, *registry_, window->connections(),
                             engine::ledgerFileBeside(registry_->file()).string());
        config::ApplySettings(*live_, window->flags().UseReserve, *window);
        settings->showLiveSettings();
    });
}

void ProgramStart::showWatchFromHistory() {
    // The reserve is as old as its last good load, whatever ran before this start: the window
    // counts the lag from there until a run of its own shows the watch.
    try {
        const config::TDumpLoadSettings s = live_->snapshot();
        const auto now = engine::WatchClock::now();
        const auto history = engine::readPassHistory(
            std::filesystem::path(logFiles_->activity).parent_path().string(),
            now - std::chrono::hours(24) * 7);
        const engine::TWatchLimits limits{engine::minutesSetting(s.EditLagWarning, 15),
                                          engine::minutesSetting(s.EditLagCritical, 60),
                                          engine::minutesSetting(s.EditStallLimit, 30)};
        if (const auto view = engine::watchFromHistory(history, now, limits, s.IsReserv))
            mainWindow_->ShowWatch(*view);
    } catch (const std::exception&) {
        // A history that cannot be read leaves the watch empty until the first pass.
    }
}

void ProgramStart::OpenLogs() {
    *logFiles_ = config::openRunLogs(*live_);
    // A log that stops taking entries later is told to tvr --check through this file.
    client::setLogFaultFile(client::logFaultFileBeside(registry_->file()));
    showWatchFromHistory();

    // Each file into its view; a failure leaves the views with what they got, unreported,
    // and the activity log is not loaded after a failed error log.
    try {
        client::setLogView(&mainWindow_->errorSink());
        mainWindow_->LoadLogFile(logFiles_->error);
        client::setLogView(&mainWindow_->activitySink());
        mainWindow_->LoadLogFile(logFiles_->activity);
    } catch (const std::exception&) {
    }
}

int ProgramStart::run() {
    if (mainWindow_->flags().SetupPending) {
        // The first setup: the administrator logs on, saves and installs the procedure here,
        // and the program ends when the dialog closes.
        settings_->exec();
        return 0;
    }
    if (!logons_->MainWindowHidden())
        mainWindow_->show();
    else if (!QSystemTrayIcon::isSystemTrayAvailable())
        // The automatic start keeps the window in the tray; a desktop without one would
        // leave the running program out of reach, so the window comes up minimised instead.
        mainWindow_->showMinimized();
    const int code = QApplication::exec();
    // The session may end while a run goes on: the worker is let end before anything it
    // uses goes away.
    mainWindow_->finishWorker();
    return code;
}

}  // namespace tvr::ui
