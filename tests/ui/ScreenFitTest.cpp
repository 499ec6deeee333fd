// At 150 % on a screen 1,000 pixels high (the scale the desktop sets: Qt's scale factor over a
// 1600 x 1000 screen), every window lies wholly on the screen, frame and title bar included,
// so no menu bar or button is out of reach. The screen is the offscreen platform's, set up by
// this test's own process before the application starts.
#include "config/ConnectForm.h"
#include "config/SettingsKeys.h"
#include "platform/Registry.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"
#include "ui/AboutBox.h"
#include "ui/FormConnect.h"
#include "ui/FormDumpLoad.h"
#include "ui/FormSetting.h"
#include "ui/HelpWindow.h"
#include "ui/ProgramStart.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QScreen>

#include <fstream>

namespace fs = std::filesystem;
using namespace tvr;

namespace {

// Kept until the process ends, never destroyed (see ProgramStartTest).
QApplication& application() {
    static tvr::testing::TempFolder folder;
    static int argc = 1;
    static char name[] = "ui_screen_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        const fs::path config = folder / "screen.json";
        std::ofstream(config) << R"({"windowFrameMargins": true, "screens": [{"name": "tall",
            "x": 0, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 96}]})";
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QByteArray(config.c_str()));
        qputenv("QT_SCALE_FACTOR", "1.5");
        return new QApplication(argc, argv);
    }();
    return *instance;
}

class ScreenFit : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        fs::create_directories(dir / "sybase" / "ini");
        std::ofstream(dir / "sybase" / "ini" / "sql.ini") << "[MAIN]\n[RESERVE]\n";
        env.set("SYBASE", (dir / "sybase").string());
        env.set("TVR_REGISTRY", (dir / "registry.reg").string());
    }

    // Shows `window` and expects it, frame and all, on the screen.
    void expectOnScreen(QWidget* window) {
        window->show();
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        const QRect screen = window->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(window->frameGeometry()))
            << window->objectName().toStdString() << " at " << window->frameGeometry().y() << ", "
            << window->frameGeometry().height() << " high on " << screen.height();
        window->hide();
    }

    tvr::testing::ScopedEnvironment env;
    tvr::testing::TempFolder dir;
    platform::RecordingPrompts prompts;
};

}  // namespace

TEST_F(ScreenFit, EveryWindowLiesOnAScreenOfAThousandPixelsAtOneAndAHalfTimesTheScale) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->size(), QSize(1067, 667));
    ui::ProgramStart start({}, dir / "DumpLoadDBSync");
    ASSERT_EQ(start.begin(), ui::ProgramStart::Outcome::Ready);
    ui::TFormDumpLoad* window = start.formDumpLoad();
    expectOnScreen(window);
    EXPECT_GE(window->menuBar()->mapToGlobal(QPoint(0, 0)).y(), 0);
    expectOnScreen(window->aboutBox());
    window->N_HelpClick();
    expectOnScreen(window->helpWindow());
    expectOnScreen(start.settingsDialog());
    platform::Registry registry;
    config::ConnectForm form(registry, std::string(config::kSettingsBaseKey), "Main Server Logon");
    ui::TFormConnect logon(form);
    expectOnScreen(&logon);
}
