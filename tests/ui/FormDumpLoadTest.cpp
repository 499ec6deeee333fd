// The main window: its state tables, tray, commands and closing, as the user and the worker
// meet them.
#include "WindowFixture.h"
#include "ui/FontFit.h"

#include "engine/DumpLoadThread.h"
#include "tests/support/ScriptedProcessingHost.h"
#include "ui/FormConnect.h"
#include "ui/FormSetting.h"

#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

#include <thread>

using namespace tvr;
using engine::ToolbarSection;
using platform::PromptCall;
using platform::PromptReply;

namespace {

struct Section {
    int image;
    bool clickable;
    bool operator==(const Section&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Section& s) {
    return out << "{" << s.image << ", " << (s.clickable ? "on" : "off") << "}";
}

class MainWindow : public tvr::testing::WindowFixture {
protected:
    std::vector<Section> sections() const {
        std::vector<Section> out;
        for (int i = 0; i < 6; ++i)
            out.push_back({header()->sectionImage(i), header()->sectionClickable(i)});
        return out;
    }
    // Enabled states of tray Start, Actions/Start, Tools/Settings, tray Stop, Actions/Stop.
    std::vector<bool> commands() const {
        std::vector<bool> out;
        for (const char* name : {"NStart", "N_Start", "N_Settings", "NStop", "N_Stop"})
            out.push_back(action(name)->isEnabled());
        return out;
    }
    // The worker of the last run: filled, never resumed.
    void giveWindowAWorker() {
        window->worker().Take(std::make_unique<engine::TDumpLoadThread>(
            window->flags(), *window, host(),
            client::LogViews{&window->activitySink(), &window->errorSink()}));
    }
    // The window shown with a worker (made, not started) that uses the scripted host.
    void showWithAWorker() {
        giveWindowAWorker();
        window->connections().ReserveConnected = true;  // else showing the window drops it
        window->setProcessingHost(host());
        window->show();
    }
    void clickSection(int index) {
        QTest::mouseClick(header(), Qt::LeftButton, Qt::NoModifier,
                          header()->sectionRect(index).center());
    }

    tvr::testing::ScriptedProcessingHost& host() {
        if (!host_)
            host_ = std::make_unique<tvr::testing::ScriptedProcessingHost>(window->connections());
        return *host_;
    }

private:
    std::unique_ptr<tvr::testing::ScriptedProcessingHost> host_;
};

const std::vector<Section> kCreation{{1, true}, {8, false}, {3, true},
                                     {4, true}, {5, true},  {6, true}};

}  // namespace

TEST_F(MainWindow, CreationShowsTheIdleWindowWithItsControls) {
    EXPECT_EQ(window->windowTitle(), "Travenor(TVR)");
    // The design's pixel sizes grow with the font (the platform's, at the user's scale), and
    // the window is never narrower than its status bar.
    const auto px = [&](int pixels) { return ui::scaled(*window, pixels); };
    EXPECT_EQ(window->font(), QApplication::font());
    EXPECT_EQ(window->minimumHeight(), px(550));
    EXPECT_EQ(window->minimumWidth(),
              std::max(px(550), window->statusBar()->minimumSizeHint().width()));
    EXPECT_EQ(sections(), kCreation);
    const QSize section = header()->sectionRect(0).size();
    EXPECT_GE(section.width(), 64);
    EXPECT_GE(section.height(), 64);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(header()->sectionRect(i), QRect(QPoint(section.width() * i, 0), section)) << i;
    EXPECT_EQ((std::vector<QString>{header()->sectionCaption(0), header()->sectionCaption(5)}),
              (std::vector<QString>{"Start", "Exit"}));
    EXPECT_EQ(commands(), (std::vector<bool>{true, true, true, false, false}));
    EXPECT_TRUE(action("NControl")->isEnabled());

    auto* grid = find<QTableWidget>("StringGridInfo");
    EXPECT_GE(grid->height(), 34);
    EXPECT_EQ(grid->columnCount(), 4);
    EXPECT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->columnWidth(0), px(96));
    EXPECT_EQ(grid->columnWidth(3), px(256));
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

    auto* pages = find<QTabWidget>("PageControlDB");
    EXPECT_EQ(pages->tabPosition(), QTabWidget::South);
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(pages->widget(0), find<QWidget>("TabSheetLog"));
    EXPECT_EQ(pages->widget(1), find<QWidget>("TabSheetErrorLog"));
    EXPECT_EQ(pages->tabText(0), "Activity");
    EXPECT_EQ(pages->tabText(1), "ErrorLog");
    EXPECT_FALSE(activity()->isReadOnly());
    EXPECT_TRUE(errors()->isReadOnly());

    auto* bar = find<QStatusBar>("StatusBarState");
    EXPECT_GE(bar->height(), bar->fontMetrics().height());
    const int widths[9] = {120, 40, 70, 70, 60, 40, 70, 70, 80};
    for (int i = 0; i < 9; ++i)
        EXPECT_GE(find<QLabel>(QStringLiteral("Panel%1").arg(i).toLatin1())->width(),
                  px(widths[i]));
    EXPECT_EQ(panel(0), "Not active...");
    EXPECT_EQ(panel(1), "DUMP:");
    EXPECT_EQ(panel(5), "LOAD:");

    EXPECT_TRUE(tray()->isVisible());
    EXPECT_EQ(tray()->hint(), "Travenor\r\nNot active...");
    EXPECT_EQ(tray()->imageIndex(), 0);
    EXPECT_TRUE(window->flags().UseReserve);
    EXPECT_FALSE(window->connections().MainConnected);
    EXPECT_FALSE(window->flags().FProcessing);
    // No ProcedureInstalled marker in a fresh registry: the first setup is still to come.
    EXPECT_TRUE(window->flags().SetupPending);
}

TEST_F(MainWindow, TheGridsFolderColumnTakesTheWidthTheWindowGivesIt) {
    window->show();
    auto* grid = find<QTableWidget>("StringGridInfo");
    const auto filled = [&] {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        int used = 0;
        for (int column = 0; column < grid->columnCount(); ++column)
            used += grid->columnWidth(column);
        return used == grid->viewport()->width();
    };
    EXPECT_TRUE(filled());
    const int folder = grid->columnWidth(3);
    window->resize(window->width() + 100, window->height());
    EXPECT_TRUE(filled());
    EXPECT_EQ(grid->columnWidth(3), folder + 100);
    grid->setColumnWidth(1, grid->columnWidth(1) + 30);  // the user widens another column
    EXPECT_TRUE(filled());
}

TEST_F(MainWindow, TheWindowOpensWhereItWasLeftAndWithinTheScreen) {
    window->show();
    window->resize(window->minimumSize());
    window->move(8, 0);
    QCoreApplication::processEvents();
    const QRect left = window->frameGeometry();
    window->close();  // hidden to the tray, its place kept
    window = std::make_unique<ui::TFormDumpLoad>();
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->frameGeometry(), left);

    // A place beyond the screen's edge is brought back onto it, frame and all.
    const QRect screen = window->screen()->availableGeometry();
    window->move(screen.right() - 100, screen.bottom() - 50);
    window->close();
    window = std::make_unique<ui::TFormDumpLoad>();
    window->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(screen.contains(window->frameGeometry())) << window->frameGeometry().x();
}

TEST_F(MainWindow, MenusCarryTheirItemsAndShortcuts) {
    const struct {
        const char* menu;
        const char* caption;
        std::vector<std::tuple<const char*, const char*, const char*>> items;
    } kMenus[] = {
        {"NActions",
         "Actions",
         {{"N_Start", "Start", "Ctrl+S"},
          {"N_Stop", "Stop", "Ctrl+P"},
          {"N_Failover", "Failover...", ""},
          {"N_Switchover", "Switchover...", ""},
          {"N_Reverse", "Reverse...", ""},
          {"N_Reseed", "Re-seed the reserve...", ""},
          {"N_Exit", "Exit", "Ctrl+Alt+X"}}},
        {"N_View",
         "View",
         {{"N_Activity", "Activity", "Ctrl+A"},
          {"N_ErrorLog", "ErrorLog", "Ctrl+E"},
          {"N_History", "History", ""},
          {"N_WrapLines", "Wrap lines", ""},
          {"N_ReadOnlyLogs", "Read-only Activity view", ""}}},
        {"N_Manager",
         "Tools",
         {{"N_Settings", "Settings", "F4"}, {"N_ViewSettings", "View settings...", ""}}},
        {"N_FullHelp", "Help", {{"N_Help", "TVR Help", "F1"}, {"N_About", "About", "Ctrl+Alt+A"}}},
    };
    QList<QAction*> bar = window->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    for (int m = 0; m < 4; ++m) {
        auto* menu = find<QMenu>(kMenus[m].menu);
        EXPECT_EQ(bar[m]->menu(), menu);
        EXPECT_EQ(menu->title(), kMenus[m].caption);
        ASSERT_EQ(menu->actions().size(), qsizetype(kMenus[m].items.size()));
        for (std::size_t i = 0; i < kMenus[m].items.size(); ++i) {
            const auto& [name, caption, keys] = kMenus[m].items[i];
            QAction* item = menu->actions()[qsizetype(i)];
            EXPECT_EQ(item->objectName(), name);
            EXPECT_EQ(item->text(), caption);
            EXPECT_EQ(item->shortcut(), QKeySequence(QString::fromLatin1(keys))) << name;
        }
    }
    auto* trayMenu = find<QMenu>("PopupMenuTray");
    EXPECT_EQ(tray()->contextMenu(), trayMenu);
    QStringList names;
    for (QAction* item : trayMenu->actions()) names << item->objectName() + "=" + item->text();
    EXPECT_EQ(names,
              QStringList({"NControl=Main", "NStart=Start", "NStop=Stop", "NFailover=Failover...",
                           "NReseed=Re-seed the reserve...", "NExit=Exit"}));
}

TEST_F(MainWindow, ShortcutsReachTheirCommands) {
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 10000));
    int settings = 0;
    window->setSettingsCommand([&] { ++settings; });
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(settings, 1);
    QTest::keyClick(window.get(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(find<QTabWidget>("PageControlDB")->currentIndex(), 1);
    QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(find<QTabWidget>("PageControlDB")->currentIndex(), 0);
    window->flags().FProcessing = true;
    window->EnableStart(false);
    prompts.scriptReply(PromptReply::No);
    QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].text, "Stop process?");
    EXPECT_EQ(prompts.boxes()[0].caption, "Message");
}

TEST_F(MainWindow, ToolbarAndCommandsFollowTheRunOfAWorker) {
    int settings = 0;
    window->setSettingsCommand([&] { ++settings; });

    // Processing started: the start of processing sets the toolbar, the worker the rest,
    // from its own thread.
    window->flags().FProcessing = true;
    window->SetToolbarSection(ToolbarSection::Start, 7, false);
    window->SetToolbarSection(ToolbarSection::Stop, 2, true);
    window->SetToolbarSection(ToolbarSection::Settings, 11, false);
    giveWindowAWorker();
    window->flags().FWorkerRunning = true;
    std::thread([&] {
        window->EnableStart(false);
        window->SetProcessState(engine::StateProcessing);
    }).join();
    settle();
    EXPECT_EQ(sections(),
              (std::vector<Section>{
                  {7, false}, {2, true}, {11, false}, {4, true}, {5, true}, {6, true}}));
    EXPECT_EQ(commands(), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(panel(0), "Processing...");
    // Settings is out of reach from the toolbar and the menu; Help, About, Exit are not.
    clickSection(2);
    action("N_Settings")->trigger();  // a disabled action does not fire
    EXPECT_EQ(settings, 0);

    // Stop confirmed.
    prompts.scriptReply(PromptReply::Yes);
    clickSection(1);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].text, "Stop process?");
    EXPECT_EQ(prompts.boxes()[0].buttons, platform::PromptButtons::YesNo);
    settle();
    EXPECT_EQ(sections(),
              (std::vector<Section>{
                  {7, false}, {8, false}, {11, false}, {4, true}, {5, true}, {6, true}}));
    EXPECT_EQ(panel(0), "Waiting...");
    EXPECT_TRUE(window->worker()->StopRequested);
    EXPECT_FALSE(window->flags().FProcessing);
    // Start still ignores clicks until the worker's run ends.
    clickSection(0);
    clickSection(1);
    EXPECT_EQ(prompts.boxes().size(), 1u);

    // The worker's run ended.
    std::thread([&] {
        window->EnableStart(true);
        window->SetActivityBusy(false);
        window->SetProcessState(engine::StateNotActive);
        window->SetToolbarSection(ToolbarSection::Start, 1, true);
        window->SetToolbarSection(ToolbarSection::Settings, 3, true);
    }).join();
    settle();
    EXPECT_EQ(sections(), kCreation);
    EXPECT_EQ(commands(), (std::vector<bool>{true, true, true, false, false}));
    EXPECT_EQ(panel(0), "Not active...");
    clickSection(2);
    EXPECT_EQ(settings, 1);
}

TEST_F(MainWindow, TheStateShowsInPanelZeroAndTheTrayWhoseImageLoadsOnlyOnAChange) {
    const struct {
        int state;
        const char* text;
    } kStates[] = {{1, "Processing..."}, {2, "Sleeping..."}, {0, "Not active..."}};
    for (const auto& row : kStates) {
        const int loads = tray()->imageLoads();
        window->SetProcessState(row.state);
        EXPECT_EQ(panel(0), row.text);
        EXPECT_EQ(tray()->hint(), QStringLiteral("Travenor\r\n") + row.text);
        EXPECT_EQ(tray()->imageIndex(), row.state);
        EXPECT_EQ(tray()->imageLoads(), loads + 1);
        // The same state again writes the texts again but loads no image.
        window->SetStatusText(engine::PanelState, "Waiting...");
        window->SetProcessState(row.state);
        EXPECT_EQ(panel(0), row.text);
        EXPECT_EQ(tray()->imageLoads(), loads + 1);
    }
    window->SetProcessState(7);  // not a state: nothing changes
    EXPECT_EQ(panel(0), "Not active...");
    EXPECT_EQ(tray()->imageIndex(), 0);

    tray()->setHint(QString(70, QLatin1Char('x')));
    EXPECT_EQ(tray()->hint(), QString(63, QLatin1Char('x')));
}

TEST_F(MainWindow, EnableStartSwitchesTheMenusBothWaysAndLeavesTheToolbar) {
    for (bool enabled : {false, true, false}) {
        window->EnableStart(enabled);
        EXPECT_EQ(commands(), (std::vector<bool>{enabled, enabled, enabled, !enabled, !enabled}));
        EXPECT_EQ(window->flags().FStartEnabled, enabled);
        EXPECT_EQ(sections(), kCreation);
    }
}

TEST_F(MainWindow, ASectionWhoseClicksAreOffIgnoresThem) {
    window->flags().FProcessing = true;  // Stop would ask if it took the click
    clickSection(1);
    EXPECT_TRUE(prompts.calls().empty());
    window->SetToolbarSection(ToolbarSection::Stop, 2, true);
    prompts.scriptReply(PromptReply::No);
    clickSection(1);
    EXPECT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(header()->sectionImage(1), 2);  // No: nothing changed
    EXPECT_TRUE(window->flags().FProcessing);
    // A press on a section whose clicks are off does not even show it pressed.
    QTest::mousePress(header(), Qt::LeftButton, Qt::NoModifier, header()->sectionRect(0).center());
    EXPECT_EQ(header()->pressedSection(), 0);
    QTest::mouseRelease(header(), Qt::LeftButton, Qt::NoModifier,
                        header()->sectionRect(0).center());
    window->SetToolbarSection(ToolbarSection::Start, 7, false);
    QTest::mousePress(header(), Qt::LeftButton, Qt::NoModifier, header()->sectionRect(0).center());
    EXPECT_EQ(header()->pressedSection(), -1);
}

TEST_F(MainWindow, ClosingWithoutExitHidesToTheTrayAndTheTrayBringsItBack) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 10000));
    window->flags().FProcessing = true;
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(tray()->isVisible());
    EXPECT_TRUE(window->flags().FProcessing);  // processing goes on
    EXPECT_TRUE(prompts.calls().empty());

    window->flags().SetupPending = true;  // the first setup runs: a left click does nothing
    emit tray()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window->isVisible());
    emit tray()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window->isVisible());
    window->flags().SetupPending = false;
    emit tray()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());

    window->close();
    action("NControl")->trigger();  // tray "Main"
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, WithoutASystemTrayClosingMinimisesInstead) {
    window->setTrayAvailability([] { return false; });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 10000));
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    action("NControl")->trigger();
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(MainWindow, ExitWhileIdleEndsAtOnceWithoutAQuestion) {
    window->show();
    action("N_Exit")->trigger();
    EXPECT_TRUE(prompts.calls().empty());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->flags().FExitRequested);
}

TEST_F(MainWindow, ExitFromAnEndedRunSavesTheSettingsAndFreesTheWorker) {
    showWithAWorker();
    action("NExit")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(host().calls(), (std::vector<std::string>{"SaveSettings()"}));
    EXPECT_EQ(window->worker().get(), nullptr);
}

TEST_F(MainWindow, ExitWhileProcessingWaitsForTheWorkersCloseRequest) {
    showWithAWorker();
    window->flags().FProcessing = true;
    window->flags().FWorkerRunning = true;

    prompts.scriptReply(PromptReply::No);
    action("N_Exit")->trigger();
    EXPECT_EQ(prompts.boxes().back().text, "Stop process and exit?");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->flags().FProcessing);
    EXPECT_FALSE(window->flags().FExitRequested);

    prompts.scriptReply(PromptReply::Yes);
    clickSection(5);
    EXPECT_EQ(prompts.boxes().size(), 2u);
    EXPECT_TRUE(window->isVisible());  // the worker is still inside its pass
    EXPECT_EQ(panel(0), "Waiting...");
    EXPECT_TRUE(window->flags().FExitRequested);

    // The worker's end steps, on its own thread; its close request returns once handled.
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        window->flags().FProcessing = false;
        window->EnableStart(true);
        window->flags().FWorkerRunning = false;
        window->SetProcessState(engine::StateNotActive);
        window->flags().FCloseFromWorker = true;
        window->RequestClose();
        returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned, 60000);
    worker.join();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(prompts.boxes().size(), 2u);  // no further question
}

TEST_F(MainWindow, AnExitConfirmedWhileTheRunEndsClosesOnceTheWorkerHasEnded) {
    showWithAWorker();
    window->flags().FWorkerRunning = true;  // stopped by itself, still on its way out
    action("N_Exit")->trigger();            // no longer processing: no question
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_TRUE(window->isVisible());  // refused: the worker may not be freed yet
    // The worker passed its own look at the Exit before it was asked, and ends.
    window->flags().FWorkerRunning = false;
    window->WorkerEnded();
    settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->worker().get(), nullptr);
}

TEST_F(MainWindow, StartIsRefusedWhileTheSettingsOrALogonDialogIsOpenAndSettingsWhileARunGoes) {
    window->setProcessingHost(host());
    platform::Registry registry;
    config::LiveSettings live;
    ui::QtLogonDialogs dialogs;
    const config::LogFileNames logFiles{logFile(), errorLogFile()};
    config::TLogons logons(window->connections(), window->flags(), window->worker(), *window, live,
                           registry, dialogs, logFiles);
    ui::TFormSetting settings(window->connections(), window->flags(), *window, live, registry,
                              logons, logFiles);
    config::ConnectForm form(registry, "Software\\Travenor", "Main Server Logon");
    ui::TFormConnect logon(form);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&settings, &logon}) {
        SCOPED_TRACE(dialog->objectName().toStdString());
        dialog->show();
        action("NStart")->trigger();  // the tray's Start
        EXPECT_TRUE(host().calls().empty());
        dialog->hide();
    }
    action("NStart")->trigger();
    EXPECT_EQ(host().calls().size(), 2u);  // both logons asked for (and cancelled)

    // Right after a Start is accepted the Settings command does nothing, before the
    // worker has switched the menus.
    int opened = 0;
    window->setSettingsCommand([&] { ++opened; });
    window->flags().FProcessing = true;
    QTest::keyClick(window.get(), Qt::Key_F4);
    window->NSettingClick();
    EXPECT_EQ(opened, 0);
}

TEST_F(MainWindow, TheSessionsEndClosesAtOnceAndFreesAWorkerHeldInItsPassOnlyOnceItHasEnded) {
    window->setProcessingHost(host());
    host().holdPasses();
    giveWindowAWorker();
    window->worker()->Resume();
    host().waitUntilHeld();
    window->show();

    // The desktop session ends: the application quits, the window closes without a question
    // and without waiting for the worker.
    QTimer::singleShot(0, &tvr::testing::application(), &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_NE(window->worker().get(), nullptr);

    // After the event loop: the worker (held by its watch's tick, unable to end) is let go
    // only from inside the loop that finishing keeps running; joining it would never return.
    QTimer::singleShot(0, window.get(), [this] { host().release(); });
    window->finishWorker();
    EXPECT_EQ(window->worker().get(), nullptr);
}

TEST_F(MainWindow, AStopAnsweredAfterTheWorkerStoppedByItselfShowsNotActive) {
    // Answers the Stop question only once the worker has ended by itself and the window has
    // shown that end.
    class LateAnswer final : public platform::Prompts {
    public:
        explicit LateAnswer(std::function<void()> meanwhile) : meanwhile_(std::move(meanwhile)) {}
        platform::PromptReply messageBox(platform::PromptOwner, const std::string&,
                                         const std::string&, platform::PromptButtons,
                                         platform::PromptIcon) override {
            return PromptReply::Ok;
        }
        bool askYesNo(platform::PromptOwner, const std::string& text, const std::string&) override {
            questions.push_back(text);
            meanwhile_();
            return true;
        }
        void beep() override {}
        std::vector<std::string> questions;

    private:
        std::function<void()> meanwhile_;
    };
    showWithAWorker();
    window->flags().FProcessing = true;
    window->flags().FWorkerRunning = true;
    window->EnableStart(false);
    LateAnswer late([this] {
        // The worker's end steps, on its own thread, as a failed pass ends processing.
        std::thread([this] {
            std::lock_guard lock(window->flags().FLock);
            window->flags().FProcessing = false;
            window->EnableStart(true);
            window->flags().FWorkerRunning = false;
            window->SetProcessState(engine::StateNotActive);
        }).join();
        settle();
    });
    platform::Prompts* previous = platform::setPrompts(&late);
    action("N_Stop")->trigger();
    platform::setPrompts(previous);
    settle();
    EXPECT_EQ(late.questions, (std::vector<std::string>{"Stop process?"}));
    EXPECT_EQ(panel(0), "Not active...");
}

TEST_F(MainWindow, TheGridShowsOneRowOrTwo) {
    auto* grid = find<QTableWidget>("StringGridInfo");
    window->SetInfoRowCount(2);
    window->SetInfoRow(0, {"Main server", "MAINSRV", "sales", "/dumps"});
    window->SetInfoRow(1, {"Reserve server", "RESSRV", "sales_copy", "/loads"});
    window->SetInfoCell(0, 1, "MAINSRV2");
    ASSERT_EQ(grid->rowCount(), 2);
    QStringList cells;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) cells << grid->item(r, c)->text();
    EXPECT_EQ(cells, QStringList({"Main server", "MAINSRV2", "sales", "/dumps", "Reserve server",
                                  "RESSRV", "sales_copy", "/loads"}));
    EXPECT_GE(grid->rowHeight(1), 16);
    window->SetInfoRowCount(1);
    EXPECT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->item(0, 2)->text(), "sales");
}

TEST_F(MainWindow, ShowingRunsTheLogonsResetReserveInfoAndWithoutOneBindsTheViews) {
    client::setLogView(nullptr);
    int resets = 0;
    window->setReserveReset([&] { ++resets; });
    window->show();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(client::LogView(), nullptr);  // the logons' hook binds them
    window->hide();
    window->setReserveReset(nullptr);
    window->show();
    EXPECT_EQ(client::LogView(), &window->activitySink());
    EXPECT_EQ(client::ErrorLogView(), &window->errorSink());
}

TEST_F(MainWindow, AnErrorEscapingACommandIsShownInTheApplicationsBox) {
    window->setSettingsCommand([] { throw std::runtime_error("Unable to create directory"); });
    action("N_Settings")->trigger();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    const PromptCall box = prompts.boxes()[0];
    EXPECT_EQ(box.text, "Unable to create directory.");
    EXPECT_EQ(box.caption, "Travenor(TVR)");
    EXPECT_EQ(box.icon, platform::PromptIcon::Error);
}

namespace {

// A host whose settings save runs what the test gives it.
class SavingHost final : public engine::TProcessingHost {
public:
    std::function<void()> onSave;
    void LogonMain() override {}
    void LogonReserve() override {}
    void SaveSettings() override { onSave(); }
    engine::TStartSettings StartSettings() const override { return {}; }
    engine::TPassSettings PassSettings() const override { return {}; }
};

}  // namespace

TEST_F(MainWindow, AWorkersCloseRequestDuringTheExitsOwnCloseDoesNotDeadlock) {
    // Exit confirmed just as the worker ends: the close handler frees the worker (waiting for
    // its thread) while the worker sends its close request and waits for the window.
    SavingHost saving;
    std::atomic<bool> requestReturned{false};
    saving.onSave = [&] {
        std::thread worker([&] {
            window->RequestClose();
            requestReturned = true;
        });
        worker.join();  // as freeing the worker joins its thread
    };
    window->setProcessingHost(saving);
    giveWindowAWorker();
    window->connections().ReserveConnected = true;
    window->show();
    window->flags().FExitRequested = true;
    window->close();
    EXPECT_TRUE(requestReturned);
    EXPECT_FALSE(window->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);  // the queued request finds it closed
}

TEST_F(MainWindow, ASaveThatFailsOnTheWayOutIsShownAndTheProgramStillEnds) {
    SavingHost saving;
    saving.onSave = [] { throw std::runtime_error("Unable to create directory"); };
    window->setProcessingHost(saving);
    giveWindowAWorker();
    window->connections().ReserveConnected = true;
    window->show();
    action("N_Exit")->trigger();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].text, "Unable to create directory.");
    EXPECT_EQ(prompts.boxes()[0].icon, platform::PromptIcon::Error);
    EXPECT_FALSE(window->isVisible());
}
