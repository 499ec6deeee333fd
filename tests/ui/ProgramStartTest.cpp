// Program start in the test process, with the real windows on the offscreen platform: which
// window a start ends in, the boxes it shows, and what it does to the log files.
#include "client/LogWriter.h"
#include "config/ProcedureMarker.h"
#include "config/SettingsStore.h"
#include "platform/Registry.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"
#include "ui/FormDumpLoad.h"
#include "ui/FormSetting.h"
#include "ui/LogView.h"
#include "ui/ProgramStart.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTableWidget>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>

using namespace tvr::platform;
using tvr::client::MakeLogFileName;
using tvr::ui::ProgramStart;
using Outcome = tvr::ui::ProgramStart::Outcome;
namespace fs = std::filesystem;

namespace {

// Kept until the process ends and never destroyed: after a window has been shown, a
// QApplication torn down among the exit handlers would outlive Qt's own statics.
QApplication& app() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = qobject_cast<QApplication*>(QCoreApplication::instance())
                                        ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                        : new QApplication(argc, argv);
    return *instance;
}

// Once a modal dialog is up in a nested event loop: `act` with it (it must close it).
void whenModalDialog(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

class ProgramStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        fs::create_directories(sybase / "ini");
        std::ofstream(sybase / "ini" / "sql.ini") << "[MAIN]\n[RESERVE]\n";
        env.set("SYBASE", sybase.string());
        env.set("TVR_REGISTRY", (dir / "registry.reg").string());
    }

    // A workstation whose first setup is done: settings with the log folders `logs` and
    // `errorLogs`, and the marker that the procedure is installed.
    void completeFirstSetup(const std::string& logs, const std::string& errorLogs) {
        tvr::config::TDumpLoadSettings settings;
        settings.ComboDump = "sales";
        settings.ComboLoad = "sales_copy";
        settings.EditPathDump = settings.EditPathLoad = (dir / "dumps").string();
        settings.EditLogPath = logs;
        settings.EditErrorLogPath = errorLogs;
        Registry registry;
        tvr::config::SaveSettings(registry, tvr::config::LiveSettings(settings));
        tvr::config::writeProcedureInstalled(registry);
    }

    tvr::testing::ScopedEnvironment env;
    tvr::testing::TempFolder dir;
    fs::path sybase = dir / "sybase";
    fs::path guard = dir / "DumpLoadDBSync";
    RecordingPrompts prompts;
};

}  // namespace

TEST_F(ProgramStartTest, AfterTheFirstSetupTheMainWindowOpensWithTheLogsAndNoLogon) {
    completeFirstSetup((dir / "logs" / "activity").string(), (dir / "logs" / "errors").string());
    // Only the error log exists yet, named by the log files' rule after the main database.
    const std::string errorLog = MakeLogFileName((dir / "logs" / "errors").string(), "errsales");
    fs::create_directories(dir / "logs" / "errors");
    std::ofstream(errorLog, std::ios::binary) << "$Err$12:00:00 an earlier error\r\n";

    ProgramStart start({}, guard);
    ASSERT_EQ(start.begin(), Outcome::Ready);
    EXPECT_TRUE(prompts.calls().empty());
    EXPECT_EQ(start.mainWindow()->windowTitle(), "Travenor(TVR)");
    EXPECT_EQ(QCoreApplication::applicationName(), "Travenor(TVR)");
    EXPECT_EQ(InstanceGuard(guard).state(), InstanceGuard::State::HeldElsewhere);
    // The folders are made; a log file that does not exist is not, and the other is shown.
    EXPECT_EQ(start.errorLogFileName(), errorLog);
    EXPECT_EQ(start.logFileName(), MakeLogFileName((dir / "logs" / "activity").string(), "sales"));
    EXPECT_TRUE(fs::is_directory(dir / "logs" / "activity"));
    EXPECT_FALSE(fs::exists(start.logFileName()));
    EXPECT_NE(start.formDumpLoad()->errorView()->text().find("an earlier error"),
              std::string::npos);
    EXPECT_EQ(start.formDumpLoad()->activityView()->lineCount(), 0u);

    EXPECT_FALSE(start.mainWindow()->isVisible());  // not before the event loop
    bool shownInLoop = false;
    QWidget* modal = nullptr;
    QTimer::singleShot(0, [&] {
        shownInLoop = start.mainWindow()->isVisible();
        modal = QApplication::activeModalWidget();
        QCoreApplication::quit();
    });
    EXPECT_EQ(start.run(), 0);
    EXPECT_TRUE(shownInLoop);
    EXPECT_EQ(modal, nullptr);  // no logon dialog without parameters
    EXPECT_EQ(start.formDumpLoad()->statusText(0), "Not active...");
    // The info grid shows the settings: the main database and the reserve database.
    const auto* grid = start.mainWindow()->findChild<QTableWidget*>("StringGridInfo");
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->item(0, 2)->text(), "sales");
    EXPECT_EQ(grid->item(1, 2)->text(), "sales_copy");
    EXPECT_FALSE(fs::exists(start.logFileName()));
}

TEST_F(ProgramStartTest, TheSettingsDialogOpensCentredOnTheMainWindowWhereverItIs) {
    completeFirstSetup((dir / "logs").string(), (dir / "logs").string());
    ProgramStart start({}, guard);
    ASSERT_EQ(start.begin(), Outcome::Ready);
    QPoint windowCentre, dialogCentre;
    QTimer::singleShot(0, [&] {
        start.mainWindow()->move(40, 30);
        windowCentre = start.mainWindow()->frameGeometry().center();
        whenModalDialog([&](QDialog* dialog) {
            dialogCentre = dialog->frameGeometry().center();
            dialog->reject();
            QCoreApplication::quit();
        });
        start.formDumpLoad()->NSettingClick();
    });
    EXPECT_EQ(start.run(), 0);
    // A frame of odd width or height has no whole-pixel centre: half a pixel either way.
    EXPECT_LE(std::abs(dialogCentre.x() - windowCentre.x()), 1);
    EXPECT_LE(std::abs(dialogCentre.y() - windowCentre.y()), 1);
}

TEST_F(ProgramStartTest, TheFirstStartShowsTheSettingsDialogInsteadOfTheMainWindowAndEndsWithIt) {
    for (int start_number = 1; start_number <= 2; ++start_number) {
        SCOPED_TRACE(start_number);
        ProgramStart start({}, guard);
        ASSERT_EQ(start.begin(), Outcome::Ready);
        bool mainWindowShown = true;
        QDialog* shown = nullptr;
        whenModalDialog([&](QDialog* dialog) {
            shown = dialog;
            mainWindowShown = start.mainWindow()->isVisible();
            dialog->reject();
        });
        EXPECT_EQ(start.run(), 0);
        EXPECT_EQ(shown, static_cast<QDialog*>(start.settingsDialog()));
        EXPECT_FALSE(mainWindowShown);
        EXPECT_FALSE(start.mainWindow()->isVisible());
        // Cancelled: the next start is a first setup again.
        EXPECT_FALSE(tvr::config::readProcedureInstalled(Registry()));
    }
}

TEST_F(ProgramStartTest, ACancelledCommandLineLogonEndsTheProgramWithoutAWindow) {
    completeFirstSetup((dir / "logs").string(), (dir / "logs").string());
    ProgramStart start({"-A"}, guard);  // no "P1:": the logon dialog comes at once
    QString caption;
    whenModalDialog([&](QDialog* dialog) {
        caption = dialog->windowTitle();
        dialog->reject();
    });
    EXPECT_EQ(start.begin(), Outcome::LogonCancelled);
    EXPECT_EQ(caption, "Main Server Logon");
    EXPECT_FALSE(start.mainWindow()->isVisible());
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(ProgramStartTest, AnEmptyLogFolderSettingIsReportedAndTheLogGoesToTheSybaseFolder) {
    completeFirstSetup("", (dir / "logs").string());
    ProgramStart start({}, guard);
    ASSERT_EQ(start.begin(), Outcome::Ready);
    const auto boxes = prompts.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].icon, PromptIcon::Error);
    EXPECT_NE(boxes[0].text.find("\"EditLogPath\""), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find(sybase.string()), std::string::npos) << boxes[0].text;
    EXPECT_EQ(fs::path(start.logFileName()).parent_path(), sybase);
    EXPECT_EQ(fs::path(start.errorLogFileName()).parent_path(), dir / "logs");
}

TEST_F(ProgramStartTest, WithoutSybaseTheUserIsToldAndNothingIsReadOrWritten) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(value ? "empty SYBASE" : "no SYBASE");
        prompts.clear();
        if (value)
            env.set("SYBASE", value);
        else
            env.unset("SYBASE");
        {
            ProgramStart start({"P1:secret", "-A"}, guard);
            EXPECT_EQ(start.begin(), Outcome::OpenClientMissing);
            const auto boxes = prompts.boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].kind, PromptCall::Kind::MessageBox);
            EXPECT_EQ(boxes[0].owner, nullptr);
            EXPECT_EQ(boxes[0].text, "Your need install Sybase");
            EXPECT_EQ(boxes[0].caption, "Message");
            EXPECT_EQ(boxes[0].buttons, PromptButtons::Ok);
            EXPECT_EQ(boxes[0].icon, PromptIcon::None);
            EXPECT_EQ(prompts.beeps(), 0);
            ASSERT_NE(start.mainWindow(), nullptr);
            EXPECT_FALSE(start.mainWindow()->isVisible());
            EXPECT_EQ(start.settingsDialog(), nullptr);
        }
        EXPECT_FALSE(fs::exists(dir / "registry.reg"));
        // The guard went with the program.
        EXPECT_TRUE(InstanceGuard(guard).held());
    }
}

TEST_F(ProgramStartTest, ASecondInstanceEndsAtOnceSilentlyAndLeavesTheFirstAlone) {
    env.unset("SYBASE");  // a second instance must not even get as far as this check
    const InstanceGuard running(guard);
    ASSERT_TRUE(running.held());
    {
        ProgramStart second({}, guard);
        EXPECT_EQ(second.begin(), Outcome::AnotherInstanceRuns);
        EXPECT_EQ(second.mainWindow(), nullptr);
    }
    EXPECT_TRUE(prompts.calls().empty());
    // The first instance still holds its guard after the second has gone.
    EXPECT_TRUE(running.held());
    EXPECT_EQ(InstanceGuard(guard).state(), InstanceGuard::State::HeldElsewhere);
}

TEST_F(ProgramStartTest, ASecondStartBringsUpTheRunningWindowWhichLogsThatItWasAsked) {
    completeFirstSetup((dir / "logs").string(), (dir / "logs").string());
    ProgramStart running({}, guard);
    ASSERT_EQ(running.begin(), Outcome::Ready);
    ASSERT_FALSE(running.mainWindow()->isVisible());  // as when it stays in the tray
    {
        ProgramStart second({}, guard);
        EXPECT_EQ(second.begin(), Outcome::AnotherInstanceRuns);
        EXPECT_EQ(second.mainWindow(), nullptr);
    }
    // The request arrives through the running one's event loop.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!running.mainWindow()->isVisible() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(running.mainWindow()->isVisible());
    std::ifstream log(running.logFileName());
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("A second start of Travenor asked to show this window"), std::string::npos)
        << text;
    EXPECT_TRUE(prompts.calls().empty());
}

TEST_F(ProgramStartTest, AGuardThatCannotBeHadDoesNotKeepTheProgramFromRunning) {
    completeFirstSetup((dir / "logs").string(), (dir / "logs").string());
    fs::create_symlink(dir / "elsewhere", guard);  // refused: never followed
    ProgramStart start({}, guard);
    EXPECT_EQ(start.begin(), Outcome::Ready);
    EXPECT_TRUE(prompts.calls().empty());
}
