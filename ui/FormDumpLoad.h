#pragma once
// The main window: toolbar, info grid, the Activity and ErrorLog pages, status bar, menus and
// tray icon, and the home of the program's run-time state. It shows what the worker, the
// logons and the settings report through TProcessDisplay, carrying calls made on other
// threads over to the GUI thread in the order made; the GUI thread never waits for the
// worker. Closing hides the window to the tray; only Exit ends the program.
#include "engine/Connections.h"
#include "engine/FailoverControl.h"
#include "engine/ProcessDisplay.h"
#include "engine/ProcessingControl.h"
#include "engine/ProcessingHost.h"
#include "engine/RunFlags.h"
#include "engine/WorkerRun.h"
#include "ui/GuiThreadCalls.h"
#include "ui/ViewSink.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QTabWidget;

namespace tvr::ui {

class THeaderToolbar;
class TLogView;
class TTrayIcon;
class TWatchPanel;
class TPassProgress;
class TfmAbout;
class THelpWindow;
class THistoryView;

class TFormDumpLoad : public QMainWindow, public engine::TProcessDisplay {
    Q_OBJECT
public:
    // FormCreate. The processing host (the settings dialog, the logons) is given later, by
    // start-up, once it exists; until then Start logs on to nothing and starts nothing.
    explicit TFormDumpLoad(QWidget* parent = nullptr);
    ~TFormDumpLoad() override;  // FormDestroy

    // The run-time state the window holds for the program: the two sessions, the run's
    // flags and its worker, each lent to those who need it.
    engine::TConnections& connections() { return connections_; }
    engine::TRunFlags& flags() { return flags_; }
    engine::TWorkerRun& worker() { return worker_; }
    engine::TProcessingControl& control() { return *control_; }
    void setProcessingHost(engine::TProcessingHost& host);
    // What showing the window runs: the logons' ResetReserveInfo, which binds the views through
    // its own hook (start-up connects both). Without one, showing binds the views.
    void setReserveReset(std::function<void()> reset) { reserveReset_ = std::move(reset); }
    // What the Settings command runs (start-up connects the settings dialog here).
    void setSettingsCommand(std::function<void()> command) {
        settingsCommand_ = std::move(command);
    }
    // What Reverse runs before its start: the roles swapped in the settings and sessions
    // (start-up connects config::reverseRoles here).
    void setReverseCommand(std::function<void()> command) { reverseCommand_ = std::move(command); }
    engine::TFailoverControl& failover() { return *failover_; }
    // Whether the desktop has a notification area; the platform's answer unless replaced.
    void setTrayAvailability(std::function<bool()> available) {
        trayAvailable_ = std::move(available);
    }
    // Where Help looks for the help file (the installed one unless replaced).
    void setHelpFile(const QString& file) { helpFile_ = file; }

    // The two views as the client layer's sinks; start-up binds them while loading the logs.
    client::LogSink& activitySink() { return activitySink_; }
    client::LogSink& errorSink() { return errorSink_; }

    // engine::TProcessDisplay
    void SetProcessState(int state) override;
    void RefreshTray() override;
    void EnableStart(bool enabled) override;
    void SetToolbarSection(engine::ToolbarSection section, int image, bool clickable) override;
    void SetActivityBusy(bool busy) override;
    void RequestClose() override;
    void WorkerEnded() override;
    void SetStatusText(int panel, const std::string& text) override;
    void SetInfoRowCount(int rows) override;
    void SetInfoRow(int row, const engine::InfoRow& cells) override;
    void SetInfoCell(int row, int column, const std::string& text) override;
    void EnableTrayMain(bool enabled) override;
    void ShowWatch(const engine::TWatchView& view) override;

    // Binds the client layer's LogView and ErrorLogView to the two views.
    void BindLogViews();
    // After the event loop has ended (the session ends): asks a worker still running to stop
    // and keeps serving its calls until it has said it ended, so that it can be freed
    // without a wait. Boxes it raises from here on are answered without being shown.
    void finishWorker();
    // Loads a log file into the view bound as LogView; throws LogViewError.
    void LoadLogFile(const std::string& path);
    // "Clear Log" and "Clear Error Log": the view and its file; throw LogViewError.
    void ClearLog();
    void ClearErrorLog();
    // How many lines the views keep and whether they wrap them, from the settings store (after
    // the settings dialog too).
    void applyViewSettings();

    // The commands, as the menus, the toolbar and the tray run them.
    void NStartClick();
    void NStopClick();
    void NExitClick();
    // The Exit command with its question answered Yes, for a stop asked from outside (a
    // signal): nobody may be there to answer.
    void ExitWithoutQuestion();
    void NSettingClick();
    // "View settings...": the settings dialog read-only, available while processing runs,
    // when Settings is not.
    void NViewSettingsClick();
    // Failover and Switchover (the report comes in a box), and Reverse after either.
    void NFailoverClick();
    void NSwitchoverClick();
    void NReverseClick();
    // "Re-seed the reserve...": the question, default No, then a start whose first pass
    // replaces the reserve database even when it is online.
    void NReseedClick();
    void N_HelpClick();
    void N_AboutClick();
    void NControlClick();
    void TrayMonitoringClick();
    void N_ActivityClick();
    void N_ErrorLogClick();
    // The History page, beside Activity and ErrorLog.
    void N_HistoryClick();
    // "Wrap lines": both views, remembered at once.
    void N_WrapLinesClick();
    // "Read-only Activity view": typing into the Activity view does nothing (selection and
    // copy still work), remembered at once. The ErrorLog view is always read-only.
    void N_ReadOnlyLogsClick();

    TLogView* activityView() const { return activityView_; }
    TLogView* errorView() const { return errorView_; }
    TTrayIcon* tray() const { return tray_; }
    TfmAbout* aboutBox();
    THelpWindow* helpWindow() const { return help_; }
    QString statusText(int panel) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildMenus();
    void buildTray();
    void HeaderControlDumpLoadSectionClick(int section);
    void PageControlDBChange(int index);
    void scrollToEnd(TLogView* view);
    // Runs a command; an error that escapes it is shown as the application shows such errors.
    void runCommand(const std::function<void()>& command);
    void showError(const std::exception& error);
    void applyEnableStart(bool enabled);
    // The tray hint's state line: the state text, then the progress of the step under way.
    void showStateHint();
    // Re-seed is available as Start is, and only while a reserve server is in use.
    void enableReseed();
    // Start and Re-seed wait for a failover under way, and for a dialog that uses the
    // connections (brought to the front instead).
    bool startRefused();
    // A settings or logon dialog on screen, else nullptr.
    static QWidget* openConnectionDialog();
    QAction* action(const char* name) const;
    void startFailover(bool planned);

    // Declared before the worker, which uses them until it is freed.
    engine::TConnections connections_;
    engine::TRunFlags flags_;
    engine::TWorkerRun worker_;
    std::unique_ptr<engine::TProcessingHost> idleHost_;
    engine::TProcessingHost* host_ = nullptr;
    std::unique_ptr<engine::TProcessingControl> control_;
    std::unique_ptr<engine::TFailoverControl> failover_;
    TGuiThreadCalls calls_;

    THeaderToolbar* header_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QTabWidget* pages_ = nullptr;
    TLogView* activityView_ = nullptr;
    TLogView* errorView_ = nullptr;
    THistoryView* history_ = nullptr;
    QLabel* panels_[9] = {};
    TTrayIcon* tray_ = nullptr;
    std::unique_ptr<TWatchPanel> watchPanel_;
    std::unique_ptr<TPassProgress> progress_;
    QString stateText_;  // the state text of the tray hint, before the progress
    QMenu* trayMenu_ = nullptr;
    TfmAbout* about_ = nullptr;
    THelpWindow* help_ = nullptr;
    TViewSink activitySink_;
    TViewSink errorSink_;

    std::function<void()> settingsCommand_;
    std::function<void()> reserveReset_;
    std::function<void()> reverseCommand_;
    std::function<bool()> trayAvailable_;
    QString helpFile_;
    bool closeHandlerRunning_ = false;  // guarded by calls_'s lock
    bool applicationQuitting_ = false;
    bool exitAccepted_ = false;
};

}  // namespace tvr::ui
