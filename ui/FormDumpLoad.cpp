#include "ui/FormDumpLoad.h"

#include "client/LogFileNames.h"
#include "config/ProcedureMarker.h"
#include "config/ViewSettings.h"
#include "config/WindowSettings.h"
#include "engine/DumpLoadThread.h"
#include "platform/CommandError.h"
#include "platform/Profile.h"
#include "platform/Prompts.h"
#include "platform/RegistryError.h"
#include "ui/AboutBox.h"
#include "ui/FontFit.h"
#include "ui/FormConnect.h"
#include "ui/FormSetting.h"
#include "ui/GridStretch.h"
#include "ui/HeaderToolbar.h"
#include "ui/HelpWindow.h"
#include "ui/HistoryView.h"
#include "ui/LogFiles.h"
#include "ui/LogView.h"
#include "ui/PassProgress.h"
#include "ui/TrayIcon.h"
#include "ui/WatchPanel.h"
#include "ui/WindowPlace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

// The images live in this library; a static library's resources are registered by hand.
static void registerImages() { Q_INIT_RESOURCE(images); }

namespace tvr::ui {
namespace {

constexpr const char* kTrayTitle = "Travenor";

// The caption and the tray hint's first line name the profile, so that the windows of two
// programs on one desktop can be told apart.
QString withProfile(const char* title, const char* separator) {
    const std::string& profile = platform::profileName();
    return QString::fromLatin1(title) +
           (profile.empty() ? QString()
                            : QString::fromLatin1(separator) + QString::fromStdString(profile));
}

// A host for the time before start-up hands over the real one: no logon succeeds, so a
// Start does nothing.
class IdleProcessingHost final : public engine::TProcessingHost {
public:
    void LogonMain() override {}
    void LogonReserve() override {}
    void SaveSettings() override {}
    engine::TStartSettings StartSettings() const override { return {}; }
    engine::TPassSettings PassSettings() const override { return {}; }
};

// The status bar's panels: width and the text they hold at design time.
struct PanelSpec {
    int width;
    const char* text;
    bool raised;
};
constexpr PanelSpec kPanels[9] = {
    {120, "No active", false}, {40, "DUMP:", true}, {70, "", false},
    {70, "", false},           {60, "", false},     {40, "LOAD:", true},
    {70, "", false},           {70, "", false},     {80, "", false},
};

// The main menu: menu, item, caption, shortcut, command.
struct MenuItemSpec {
    const char* name;
    const char* caption;
    const char* shortcut;
    void (TFormDumpLoad::*command)();
};
struct MenuSpec {
    const char* name;
    const char* caption;
    std::initializer_list<MenuItemSpec> items;
};
const MenuSpec kMenus[] = {
    {"NActions",
     "Actions",
     {{"N_Start", "Start", "Ctrl+S", &TFormDumpLoad::NStartClick},
      {"N_Stop", "Stop", "Ctrl+P", &TFormDumpLoad::NStopClick},
      {"N_Failover", "Failover...", "", &TFormDumpLoad::NFailoverClick},
      {"N_Switchover", "Switchover...", "", &TFormDumpLoad::NSwitchoverClick},
      {"N_Reverse", "Reverse...", "", &TFormDumpLoad::NReverseClick},
      {"N_Reseed", "Re-seed the reserve...", "", &TFormDumpLoad::NReseedClick},
      {"N_Exit", "Exit", "Ctrl+Alt+X", &TFormDumpLoad::NExitClick}}},
    {"N_View",
     "View",
     {{"N_Activity", "Activity", "Ctrl+A", &TFormDumpLoad::N_ActivityClick},
      {"N_ErrorLog", "ErrorLog", "Ctrl+E", &TFormDumpLoad::N_ErrorLogClick},
      {"N_History", "History", "", &TFormDumpLoad::N_HistoryClick},
      {"N_WrapLines", "Wrap lines", "", &TFormDumpLoad::N_WrapLinesClick},
      {"N_ReadOnlyLogs", "Read-only Activity view", "", &TFormDumpLoad::N_ReadOnlyLogsClick}}},
    {"N_Manager",
     "Tools",
     {{"N_Settings", "Settings", "F4", &TFormDumpLoad::NSettingClick},
      {"N_ViewSettings", "View settings...", "", &TFormDumpLoad::NViewSettingsClick}}},
    {"N_FullHelp",
     "Help",
     {{"N_Help", "TVR Help", "F1", &TFormDumpLoad::N_HelpClick},
      {"N_About", "About", "Ctrl+Alt+A", &TFormDumpLoad::N_AboutClick}}},
};

// The tray's menu: item, caption, command.
struct TrayItemSpec {
    const char* name;
    const char* caption;
    void (TFormDumpLoad::*command)();
};
constexpr TrayItemSpec kTrayItems[] = {
    {"NControl", "Main", &TFormDumpLoad::NControlClick},
    {"NStart", "Start", &TFormDumpLoad::NStartClick},
    {"NStop", "Stop", &TFormDumpLoad::NStopClick},
    {"NFailover", "Failover...", &TFormDumpLoad::NFailoverClick},
    {"NReseed", "Re-seed the reserve...", &TFormDumpLoad::NReseedClick},
    {"NExit", "Exit", &TFormDumpLoad::NExitClick},
};

QString qs(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// "MS Sans Serif" 8 pt where it exists, else the application's font as the platform and the
// user's scale made it: 8 pt of another family is smaller than the design meant, and a fixed
// size would ignore the scale the user chose.
QFont windowFont() {
    if (!QFontDatabase::families().contains(QStringLiteral("MS Sans Serif")))
        return QApplication::font();
    QFont font;
    font.setFamily(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    return font;
}

// A status panel as wide as the design's width in this font, or as its text when that is wider.
void fitPanel(QLabel& panel, int designWidth) {
    panel.setMinimumWidth(0);
    panel.setMinimumWidth(std::max(scaled(panel, designWidth), panel.sizeHint().width()));
}

// The window never narrower than its status bar, whose panels widen with the names they show.
void fitStatusBar(QMainWindow& window) {
    // A panel's new minimum reaches the bar's nested layouts only at their next activation;
    // read now, the bar's minimum would still be the one before the new text.
    QStatusBar* bar = window.statusBar();
    for (QLayout* layout : bar->findChildren<QLayout*>()) layout->invalidate();
    const int need = bar->minimumSizeHint().width();
    window.setMinimumWidth(std::max(scaled(window, 550), need));
    if (window.width() < need) window.resize(need, window.height());
}

}  // namespace

TFormDumpLoad::TFormDumpLoad(QWidget* parent)
    : QMainWindow(parent),
      idleHost_(std::make_unique<IdleProcessingHost>()),
      calls_(this),
      activitySink_(calls_),
      errorSink_(calls_),
      trayAvailable_([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      helpFile_(helpFilePath()) {
    registerImages();
    setObjectName(QStringLiteral("FormDumpLoad"));
    setFont(windowFont());
    setWindowIcon(QIcon(QStringLiteral(":/images/tvr-256.png")));
    buildLayout();
    buildMenus();
    action("N_WrapLines")->setCheckable(true);
    action("N_ReadOnlyLogs")->setCheckable(true);
    buildTray();
    watchPanel_ = std::make_unique<TWatchPanel>(grid_, tray_, statusBar());
    // The Backup Server's progress of the dump or load under way, from the Activity view's
    // lines as they arrive.
    progress_ = std::make_unique<TPassProgress>(statusBar());
    activityView_->setLineWatcher([this](const std::vector<std::string>& lines) {
        bool changed = false;
        for (const std::string& line : lines)
            changed = progress_->line(line, TPassProgress::Clock::now()) || changed;
        if (changed) showStateHint();
    });
    setProcessingHost(*idleHost_);

    // The design's sizes in this font (FontFit.h), never below what the status bar needs.
    const QSize size(std::max(scaled(*this, 649), statusBar()->sizeHint().width()),
                     scaled(*this, 625));
    resize(size);
    setMinimumSize(std::max(scaled(*this, 550), statusBar()->minimumSizeHint().width()),
                   scaled(*this, 550));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
    // Where the user left it, and never beyond the screen's edges, frame and menu bar included.
    restoreWindowPlace(*this);

    // FormCreate, in its order.
    setWindowTitle(withProfile(platform::kApplicationTitle, " - "));
    SetProcessState(engine::StateNotActive);
    flags_.UseReserve = true;
    connections_.ReserveConnected = false;
    connections_.MainConnected = false;
    EnableStart(true);
    SetToolbarSection(engine::ToolbarSection::Stop, engine::ToolbarImage::StopOff, false);
    grid_->setColumnWidth(3, scaled(*this, 256));
    // Once shown, the folders' column takes what the window's width leaves it.
    stretchColumn(*grid_, 3);
    try {
        flags_.SetupPending = !config::readProcedureInstalled(platform::Registry());
    } catch (const platform::RegistryError&) {
        // The settings' own load reports an unreadable registry file.
        flags_.SetupPending = false;
    }
    applyViewSettings();
    tray_->show();

    // The program lives in the tray until Exit: hiding the last window must not end it. A
    // quit asked of the whole application (the session ends) closes the window for good.
    QApplication::setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(this);
}

bool TFormDumpLoad::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::Quit) {
        applicationQuitting_ = true;
        QTimer::singleShot(0, this, [this] { applicationQuitting_ = false; });
    }
    return QMainWindow::eventFilter(watched, event);
}

TFormDumpLoad::~TFormDumpLoad() {
    // FormDestroy. A worker still inside its run may call in until it is joined: from here on
    // its calls are dropped, its boxes answered unseen, and nothing waits for the GUI thread,
    // which is about to join it (start-up's finishWorker has normally let it end already).
    calls_.shutDown();
    platform::prompts().releaseWaiters();
    if (client::LogView() == &activitySink_ || client::LogView() == &errorSink_)
        client::setLogView(nullptr);
    if (client::ErrorLogView() == &activitySink_ || client::ErrorLogView() == &errorSink_)
        client::setErrorLogView(nullptr);
    failover_.reset();
    control_.reset();
    worker_.StopAndFree();
}

void TFormDumpLoad::setProcessingHost(engine::TProcessingHost& host) {
    host_ = &host;
    control_ = std::make_unique<engine::TProcessingControl>(
        connections_, flags_, worker_, *this, host, client::LogViews{&activitySink_, &errorSink_},
        static_cast<QWidget*>(this));
    failover_ = std::make_unique<engine::TFailoverControl>(connections_, worker_, *control_, host,
                                                           static_cast<QWidget*>(this));
}

void TFormDumpLoad::buildLayout() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("PanelMain"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    header_ = new THeaderToolbar(panel);
    header_->setObjectName(QStringLiteral("HeaderControlDumpLoad"));
    connect(header_, &THeaderToolbar::sectionClick, this,
            &TFormDumpLoad::HeaderControlDumpLoadSectionClick);
    layout->addWidget(header_);

    grid_ = new QTableWidget(1, 4, panel);
    grid_->setObjectName(QStringLiteral("StringGridInfo"));
    // Two rows of the font's height where the design had 16 pixels each.
    const int row = std::max(scaled(*this, 16), fontMetrics().height() + 2);
    grid_->setFixedHeight(2 * row + 2);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setDefaultSectionSize(scaled(*this, 96));
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid_->verticalHeader()->setDefaultSectionSize(row);
    grid_->verticalHeader()->setMinimumSectionSize(row);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->setFocusPolicy(Qt::NoFocus);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setFrameShape(QFrame::NoFrame);
    grid_->setShowGrid(true);
    QPalette gridPalette = grid_->palette();
    gridPalette.setColor(QPalette::Base, gridPalette.color(QPalette::Inactive, QPalette::Window));
    grid_->setPalette(gridPalette);
    SetInfoRowCount(1);
    layout->addWidget(grid_);

    pages_ = new QTabWidget(panel);
    pages_->setObjectName(QStringLiteral("PageControlDB"));
    pages_->setTabPosition(QTabWidget::South);
    const struct {
        const char* page;
        const char* caption;
        const char* view;
        const char* menu;
        const char* item;
        const char* itemCaption;
    } kPages[] = {
        {"TabSheetLog", "Activity", "ServerLogReserv", "PopupMenu1", "N1", "Clear Log"},
        {"TabSheetErrorLog", "ErrorLog", "ServerErrorLog", "PopupMenu2", "MenuItem1",
         "Clear Error Log"},
    };
    for (const auto& spec : kPages) {
        auto* page = new QWidget(pages_);
        page->setObjectName(QString::fromLatin1(spec.page));
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        auto* view = new TLogView(page);
        view->setObjectName(QString::fromLatin1(spec.view));
        pageLayout->addWidget(view);
        auto* menu = new QMenu(view);
        menu->setObjectName(QString::fromLatin1(spec.menu));
        QAction* clear = menu->addAction(QString::fromLatin1(spec.itemCaption));
        clear->setObjectName(QString::fromLatin1(spec.item));
        view->setPopupMenu(menu);
        pages_->addTab(page, QString::fromLatin1(spec.caption));
        if (!activityView_) {
            activityView_ = view;
            connect(clear, &QAction::triggered, this,
                    [this] { runCommand([this] { ClearLog(); }); });
        } else {
            errorView_ = view;
            connect(clear, &QAction::triggered, this,
                    [this] { runCommand([this] { ClearErrorLog(); }); });
        }
    }
    // Beside Activity and ErrorLog: the passes as the history files beside the activity log
    // record them.
    history_ = new THistoryView(pages_);
    history_->setObjectName(QStringLiteral("TabSheetHistory"));
    history_->setFolder([] {
        const std::string log = client::LogFileName();
        return log.empty() ? std::string() : std::filesystem::path(log).parent_path().string();
    });
    pages_->addTab(history_, QStringLiteral("History"));
    errorView_->setReadOnly(true);
    activityView_->setHistoryFile(client::LogFileName);
    errorView_->setHistoryFile(client::ErrorLogFileName);
    activitySink_.setView(activityView_);
    errorSink_.setView(errorView_);
    pages_->setCurrentIndex(0);
    // Only a tab chosen by the user runs the page change; the View menu sets the page itself.
    connect(pages_->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        QMetaObject::invokeMethod(
            this, [this, index] { PageControlDBChange(index); }, Qt::QueuedConnection);
    });
    layout->addWidget(pages_, 1);
    setCentralWidget(panel);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBarState"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 9; ++i) {
        auto* label = new QLabel(QString::fromLatin1(kPanels[i].text), bar);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        // The design's width in this font at least; a longer name widens its panel.
        label->setFrameStyle(QFrame::Panel | (kPanels[i].raised ? QFrame::Raised : QFrame::Sunken));
        fitPanel(*label, kPanels[i].width);
        bar->addWidget(label);
        panels_[i] = label;
    }
    setStatusBar(bar);
}

void TFormDumpLoad::buildMenus() {
    for (const MenuSpec& menuSpec : kMenus) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(menuSpec.caption));
        menu->setObjectName(QString::fromLatin1(menuSpec.name));
        for (const MenuItemSpec& item : menuSpec.items) {
            QAction* entry = menu->addAction(QString::fromLatin1(item.caption));
            entry->setObjectName(QString::fromLatin1(item.name));
            entry->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
            entry->setShortcutContext(Qt::WindowShortcut);
            const auto command = item.command;
            connect(entry, &QAction::triggered, this, [this, command] { (this->*command)(); });
        }
    }
    connect(findChild<QMenu*>(QStringLiteral("NActions")), &QMenu::aboutToShow, this,
            &TFormDumpLoad::enableReseed);
}

void TFormDumpLoad::buildTray() {
    tray_ = new TTrayIcon(this);
    tray_->setObjectName(QStringLiteral("TrayMonitoring"));
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName(QStringLiteral("PopupMenuTray"));
    for (const TrayItemSpec& item : kTrayItems) {
        QAction* entry = trayMenu_->addAction(QString::fromLatin1(item.caption));
        entry->setObjectName(QString::fromLatin1(item.name));
        const auto command = item.command;
        connect(entry, &QAction::triggered, this, [this, command] { (this->*command)(); });
    }
    action("NStop")->setEnabled(false);
    action("N_Reverse")->setEnabled(false);  // until a failover has brought the reserve online
    connect(trayMenu_, &QMenu::aboutToShow, this, &TFormDumpLoad::enableReseed);
    tray_->setContextMenu(trayMenu_);
    tray_->setHint(withProfile(kTrayTitle, " ") + QStringLiteral("\r\nNot active..."));
    connect(tray_, &TTrayIcon::click, this, &TFormDumpLoad::TrayMonitoringClick);
}

QAction* TFormDumpLoad::action(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name));
}

TfmAbout* TFormDumpLoad::aboutBox() {
    if (!about_) {
        about_ = new TfmAbout(this);
        about_->setFont(font());
    }
    return about_;
}

QString TFormDumpLoad::statusText(int panel) const { return panels_[panel]->text(); }

// --- What the worker, the logons and the settings show ------------------------------------

void TFormDumpLoad::SetProcessState(int newState) {
    calls_.post([this, newState] {
        flags_.FState = newState;
        tray_->setImageIndex(newState);
        const char* text = engine::processStateText(newState);
        if (!text) return;
        panels_[engine::PanelState]->setText(QString::fromLatin1(text));
        fitPanel(*panels_[engine::PanelState], kPanels[engine::PanelState].width);
        stateText_ = QString::fromLatin1(text);
        // The lines the worker wrote before this change reach the progress first, though the
        // view would take them only at its next frame.
        activityView_->lineCount();
        progress_->stateChanged(newState, TPassProgress::Clock::now());
        showStateHint();
    });
}

void TFormDumpLoad::showStateHint() {
    const QString progress = progress_->hintText();
    watchPanel_->setStateHint(withProfile(kTrayTitle, " ") + QStringLiteral("\r\n") + stateText_ +
                              (progress.isEmpty() ? QString() : QStringLiteral(" ") + progress));
}

void TFormDumpLoad::ShowWatch(const engine::TWatchView& view) {
    calls_.post([this, view] { watchPanel_->show(view); });
}

void TFormDumpLoad::RefreshTray() {
    // The desktop repaints its notification area by itself.
}

void TFormDumpLoad::EnableStart(bool enabled) {
    std::lock_guard lock(flags_.FLock);
    flags_.FStartEnabled = enabled;
    calls_.post([this, enabled] { applyEnableStart(enabled); });
}

void TFormDumpLoad::applyEnableStart(bool enabled) {
    for (const char* name : {"NStart", "N_Start", "N_Settings"}) action(name)->setEnabled(enabled);
    for (const char* name : {"NStop", "N_Stop"}) action(name)->setEnabled(!enabled);
    enableReseed();
}

void TFormDumpLoad::enableReseed() {
    // As Start, and only with a reserve server to replace; "Use Reserve Server" changes
    // without a call here, so the menus ask again as they open.
    const bool available = flags_.FStartEnabled && flags_.UseReserve;
    for (const char* name : {"NReseed", "N_Reseed"})
        if (QAction* item = action(name)) item->setEnabled(available);
}

void TFormDumpLoad::SetToolbarSection(engine::ToolbarSection section, int image, bool clickable) {
    calls_.post([this, section, image, clickable] {
        header_->setSection(static_cast<int>(section), image, clickable);
    });
}

void TFormDumpLoad::SetActivityBusy(bool busy) {
    calls_.post([this, busy] {
        activityView_->viewport()->setCursor(busy ? Qt::WaitCursor : Qt::IBeamCursor);
    });
}

void TFormDumpLoad::RequestClose() {
    // Waits until the close handler has run, unless the GUI thread is inside the close
    // handler right now (an Exit that is freeing this very worker): that handler finishes
    // the close, and the queued request finds the window's answer ready.
    calls_.postAndWait([this] { close(); }, [this] { return closeHandlerRunning_; });
}

void TFormDumpLoad::SetStatusText(int panel, const std::string& text) {
    calls_.post([this, panel, text] {
        if (panel < 0 || panel >= 9) return;
        panels_[panel]->setText(qs(text));
        fitPanel(*panels_[panel], kPanels[panel].width);
        fitStatusBar(*this);
    });
}

void TFormDumpLoad::SetInfoRowCount(int rows) {
    calls_.post([this, rows] {
        grid_->setRowCount(rows);
        for (int row = 0; row < rows; ++row) {
            grid_->setRowHeight(row, 16);
            for (int column = 0; column < 4; ++column) {
                if (grid_->item(row, column)) continue;
                auto* item = new QTableWidgetItem;
                if (column == 0) item->setBackground(grid_->palette().color(QPalette::Button));
                grid_->setItem(row, column, item);
            }
        }
    });
}

void TFormDumpLoad::SetInfoRow(int row, const engine::InfoRow& cells) {
    for (int column = 0; column < 4; ++column)
        SetInfoCell(row, column, cells[static_cast<std::size_t>(column)]);
}

void TFormDumpLoad::SetInfoCell(int row, int column, const std::string& text) {
    calls_.post([this, row, column, text] {
        if (QTableWidgetItem* item = grid_->item(row, column)) item->setText(qs(text));
    });
}

void TFormDumpLoad::EnableTrayMain(bool enabled) {
    calls_.post([this, enabled] { action("NControl")->setEnabled(enabled); });
}

void TFormDumpLoad::WorkerEnded() {
    calls_.post([this] {
        // An Exit confirmed while the run was ending found the worker still there and was
        // refused; it completes now that the worker can be freed.
        if (flags_.FExitRequested && !exitAccepted_) close();
    });
}

void TFormDumpLoad::BindLogViews() {
    client::setLogView(&activitySink_);
    client::setErrorLogView(&errorSink_);
}

void TFormDumpLoad::finishWorker() {
    platform::prompts().releaseWaiters();
    // A failover stops at its safe point or runs to its end; its calls are served meanwhile,
    // so that freeing it afterwards joins a thread that has ended.
    if (failover_ && failover_->RequestStop()) {
        while (failover_->Running()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(5);
        }
    }
    worker_.AskToStop();
    // The worker's calls to the window are served while it ends; none of them waits for
    // anything but this loop.
    while (!worker_.Ended()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    QCoreApplication::processEvents();
    worker_.ReleaseEnded();
}

// --- The log views --------------------------------------------------------------------------

void TFormDumpLoad::applyViewSettings() {
    std::size_t lines = config::kDefaultLogViewLines;
    bool wrap = false;
    bool readOnly = false;
    try {
        const platform::Registry registry;
        lines = config::readLogViewLines(registry);
        wrap = config::readWrapLines(registry);
        readOnly = config::readActivityReadOnly(registry);
    } catch (const platform::RegistryError&) {
        // The settings' own load reports an unreadable registry file.
    }
    activityView_->setLineLimit(lines);
    errorView_->setLineLimit(lines);
    action("N_WrapLines")->setChecked(wrap);
    activityView_->setWrapLines(wrap);
    errorView_->setWrapLines(wrap);
    action("N_ReadOnlyLogs")->setChecked(readOnly);
    activityView_->setReadOnly(readOnly);
}

void TFormDumpLoad::N_WrapLinesClick() {
    const bool wrap = action("N_WrapLines")->isChecked();
    activityView_->setWrapLines(wrap);
    errorView_->setWrapLines(wrap);
    runCommand([wrap] {
        platform::Registry registry;
        config::writeWrapLines(registry, wrap);
    });
}

void TFormDumpLoad::N_ReadOnlyLogsClick() {
    const bool readOnly = action("N_ReadOnlyLogs")->isChecked();
    activityView_->setReadOnly(readOnly);
    runCommand([readOnly] {
        platform::Registry registry;
        config::writeActivityReadOnly(registry, readOnly);
    });
}

void TFormDumpLoad::LoadLogFile(const std::string& path) {
    client::LogSink* bound = client::LogView();
    TLogView* view = bound == &activitySink_ ? activityView_
                     : bound == &errorSink_  ? errorView_
                                             : nullptr;
    if (view) ui::LoadLogFile(path, *view);
}

void TFormDumpLoad::ClearLog() { clearLogFile(client::LogFileName(), *activityView_); }

void TFormDumpLoad::ClearErrorLog() { clearLogFile(client::ErrorLogFileName(), *errorView_); }

void TFormDumpLoad::scrollToEnd(TLogView* view) {
    view->setFocus(Qt::OtherFocusReason);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(view, &end);
}

void TFormDumpLoad::PageControlDBChange(int index) {
    std::lock_guard lock(flags_.FLock);
    if (index == 1 && pages_->currentIndex() == 1) scrollToEnd(errorView_);
}

// --- Commands -------------------------------------------------------------------------------

void TFormDumpLoad::showError(const std::exception& error) {
    platform::reportCommandError(error.what(), static_cast<QWidget*>(this));
}

void TFormDumpLoad::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        showError(error);
    }
}

void TFormDumpLoad::NStartClick() {
    if (startRefused()) return;
    runCommand([this] { control_->StartProcessing(); });
}

void TFormDumpLoad::NReseedClick() {
    if (!flags_.UseReserve || startRefused()) return;
    runCommand([this] { control_->Reseed(); });
}

bool TFormDumpLoad::startRefused() {
    if (failover_ && failover_->Running()) return true;
    // The settings and logon dialogs send on the connections (Connect, the database lists,
    // the first-setup installation); a run started under them would share its sessions.
    if (QWidget* dialog = openConnectionDialog()) {
        dialog->raise();
        dialog->activateWindow();
        return true;
    }
    return false;
}

QWidget* TFormDumpLoad::openConnectionDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible()) continue;
        if (qobject_cast<TFormSetting*>(widget) || qobject_cast<TFormConnect*>(widget))
            return widget;
    }
    return nullptr;
}

void TFormDumpLoad::NStopClick() {
    runCommand([this] { control_->ConfirmStop(engine::StopQuestion); });
}

void TFormDumpLoad::NExitClick() {
    // A failover is never left half way: it stops at its safe point or runs to its end, and
    // the program ends with its report.
    if (failover_ && failover_->Running()) {
        failover_->RequestStop();
        platform::prompts().messageBox(
            this,
            "A failover is under way. It stops before anything is sent to the main server, or, "
            "past that point, runs to its end; the program then ends, its report in the "
            "activity log.",
            "Message", platform::PromptButtons::Ok, platform::PromptIcon::Information);
        return;
    }
    runCommand([this] {
        if (!control_->ConfirmStop(engine::ExitQuestion)) return;
        flags_.FExitRequested = true;
        close();
    });
}

void TFormDumpLoad::ExitWithoutQuestion() {
    if (failover_ && failover_->Running()) {
        // The failover's report ends the program (startFailover), not this stop.
        failover_->RequestStop();
        return;
    }
    runCommand([this] {
        control_->Stop();
        flags_.FExitRequested = true;
        close();
    });
}

void TFormDumpLoad::NSettingClick() {
    // Off while a run goes on; the menu follows a moment later, the command at once.
    if (control_->Running() || (failover_ && failover_->Running())) return;
    if (settingsCommand_) runCommand(settingsCommand_);
    // The settings dialog may have stored another number of lines for the views to keep.
    applyViewSettings();
    enableReseed();
}

void TFormDumpLoad::NViewSettingsClick() {
    // Settings is off while processing runs, which reads them; a look changes nothing.
    TFormSetting* settings = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TFormSetting*>(widget)) settings = form;
    if (!settings) return;
    if (settings->isVisible()) {
        settings->raise();
        settings->activateWindow();
        return;
    }
    const bool running = control_->Running() || (failover_ && failover_->Running());
    settings->execReadOnly(running
                               ? QStringLiteral("Processing is running and reads these settings, "
                                                "so they are shown read-only. Stop processing "
                                                "to change them (Tools > Settings).")
                               : QStringLiteral("The settings, read-only: Tools > Settings "
                                                "changes them."));
}

void TFormDumpLoad::NFailoverClick() { startFailover(false); }

void TFormDumpLoad::NSwitchoverClick() { startFailover(true); }

void TFormDumpLoad::startFailover(bool planned) {
    if (!failover_ || openConnectionDialog()) return;
    runCommand([this, planned] {
        failover_->Start(planned, [this](const engine::TFailoverPlan& plan,
                                         const engine::TFailoverReport& report) {
            const std::string text = std::string(plan.planned ? "Switchover " : "Failover ") +
                                     engine::failoverReportText(plan, report);
            calls_.post([this, text, done = report.done] {
                action("N_Reverse")->setEnabled(done);
                // Exit or a signal came during the failover: the report is in the logs, and
                // nobody may be there to answer a box.
                if (failover_->StopRequested()) return ExitWithoutQuestion();
                platform::prompts().messageBox(
                    this, text, "Message", platform::PromptButtons::Ok,
                    done ? platform::PromptIcon::Information : platform::PromptIcon::Warning);
            });
        });
    });
}

void TFormDumpLoad::NReverseClick() {
    if (!failover_ || !failover_->Done() || !action("N_Reverse")->isEnabled() ||
        failover_->Running() || control_->Running())
        return;
    const engine::TFailoverPlan plan = failover_->Plan(false);
    const std::string question = "Reverse the roles? " + plan.reserveDatabase + " on " +
                                 plan.reserveServer + " becomes the main database and " +
                                 plan.mainDatabase + " on " + plan.mainServer +
                                 " the standby; processing starts with a full pass.";
    if (!platform::prompts().askYesNo(this, question, "Message")) return;
    runCommand([this] {
        if (reverseCommand_) reverseCommand_();
        action("N_Reverse")->setEnabled(false);
        control_->StartProcessing();
    });
}

void TFormDumpLoad::N_HelpClick() {
    if (!help_) {
        help_ = new THelpWindow(this);
        help_->setFont(font());
    }
    help_->showTopic(helpFile_);
}

void TFormDumpLoad::N_AboutClick() { aboutBox()->showOver(this); }

void TFormDumpLoad::NControlClick() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TFormDumpLoad::TrayMonitoringClick() {
    if (!flags_.SetupPending) NControlClick();
}

void TFormDumpLoad::N_ActivityClick() { pages_->setCurrentIndex(0); }

void TFormDumpLoad::N_ErrorLogClick() { pages_->setCurrentIndex(1); }

void TFormDumpLoad::N_HistoryClick() { pages_->setCurrentWidget(history_); }

void TFormDumpLoad::HeaderControlDumpLoadSectionClick(int section) {
    switch (static_cast<engine::ToolbarSection>(section)) {
        case engine::ToolbarSection::Start:
            NStartClick();
            break;
        case engine::ToolbarSection::Stop:
            NStopClick();
            break;
        case engine::ToolbarSection::Settings:
            NSettingClick();
            break;
        case engine::ToolbarSection::Help:
            N_HelpClick();
            break;
        case engine::ToolbarSection::About:
            N_AboutClick();
            break;
        case engine::ToolbarSection::Exit:
            NExitClick();
            break;
    }
}

// --- Showing and closing --------------------------------------------------------------------

void TFormDumpLoad::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;
    fitShownOnScreen(*this);
    if (reserveReset_)
        reserveReset_();
    else
        BindLogViews();
    std::lock_guard lock(flags_.FLock);
    if (pages_->currentIndex() == 0) scrollToEnd(activityView_);
}

void TFormDumpLoad::closeEvent(QCloseEvent* event) {
    if (isVisible()) {
        try {
            saveWindowPlace(*this);
        } catch (const platform::RegistryError&) {
            // Only the window's place is lost; the settings' own save reports the file.
        }
    }
    if (applicationQuitting_) {
        // The session ends: nobody will answer a box any more. Start-up's finishWorker lets
        // a running worker end after the event loop.
        platform::prompts().releaseWaiters();
        event->accept();
        return;
    }
    if (!flags_.FExitRequested) {
        // Closing only hides the window; the tray icon brings it back. Without a tray there
        // would be no way back, so the window is minimised instead.
        event->ignore();
        if (trayAvailable_ && trayAvailable_())
            hide();
        else
            showMinimized();
        return;
    }
    calls_.wakeWaiters([this] { closeHandlerRunning_ = true; });
    engine::TProcessingControl::CloseAction answer =
        engine::TProcessingControl::CloseAction::Refuse;
    try {
        answer = control_->CloseAfterExit();
    } catch (const std::exception& error) {
        // The settings could not be saved on the way out: the user is told, and the program
        // still ends, since refusing would leave an Exit that can never complete.
        showError(error);
        answer = engine::TProcessingControl::CloseAction::Accept;
    }
    calls_.wakeWaiters([this] { closeHandlerRunning_ = false; });
    if (answer == engine::TProcessingControl::CloseAction::Refuse) {
        event->ignore();
        return;
    }
    exitAccepted_ = true;
    event->accept();
    tray_->hide();
    QCoreApplication::exit(0);
}

}  // namespace tvr::ui
