#pragma once
// The main window on the offscreen platform, with its boxes answered by RecordingPrompts, the
// registry in a temporary folder and the log files named there.
#include "client/LogFileNames.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"
#include "ui/FormDumpLoad.h"
#include "ui/HeaderToolbar.h"
#include "ui/LogView.h"
#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace tvr::testing {

// Kept until the process ends, never destroyed (see ProgramStartTest).
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "ui_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        clearPendingQuit();
        env.set("TVR_REGISTRY", (dir / "registry.reg").string());
        client::setLogFileNames(logFile(), errorLogFile());
        window = std::make_unique<ui::TFormDumpLoad>();
        window->setTrayAvailability([] { return true; });
    }
    void TearDown() override {
        window.reset();
        client::setLogFileNames("", "");
    }

    std::string logFile() const { return (dir / "pubs207122026.log").string(); }
    std::string errorLogFile() const { return (dir / "errpubs207122026.log").string(); }

    template <class T>
    T* find(const char* name) const {
        T* child = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QAction* action(const char* name) const { return find<QAction>(name); }
    ui::THeaderToolbar* header() const { return find<ui::THeaderToolbar>("HeaderControlDumpLoad"); }
    ui::TLogView* activity() const { return find<ui::TLogView>("ServerLogReserv"); }
    ui::TLogView* errors() const { return find<ui::TLogView>("ServerErrorLog"); }
    ui::TTrayIcon* tray() const { return find<ui::TTrayIcon>("TrayMonitoring"); }
    QString panel(int index) const {
        return find<QLabel>(QStringLiteral("Panel%1").arg(index).toLatin1().constData())->text();
    }
    // An Exit in an earlier test called QCoreApplication::exit outside any event loop; Qt keeps
    // that request and ends the next modal loop (a dialog's exec) at once. The application's
    // own loop clears it on its way in and out.
    static void clearPendingQuit() {
        QTimer::singleShot(0, &application(), &QCoreApplication::quit);
        QCoreApplication::exec();
    }
    // Lets queued display calls reach the widgets.
    static void settle() { QCoreApplication::processEvents(); }

    TempFolder dir;
    ScopedEnvironment env;
    platform::RecordingPrompts prompts;
    std::unique_ptr<ui::TFormDumpLoad> window;
};

}  // namespace tvr::testing
