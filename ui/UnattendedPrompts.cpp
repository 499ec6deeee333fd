#include "ui/UnattendedPrompts.h"

#include "client/LogFileNames.h"
#include "client/LogWriter.h"
#include "ui/QueuedCall.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QThread>
#include <QWidget>

#include <cstdio>

namespace tvr::ui {
namespace {

bool onGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool mainWindowOnScreen() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->findChild<TTrayIcon*>()) return true;
    return false;
}

}  // namespace

UnattendedPrompts::UnattendedPrompts(platform::Prompts& shown) : shown_(shown) {}

bool UnattendedPrompts::someoneThere(bool question) {
    // Before the event loop runs it is the start that asks, not a person at the tray.
    if (!onGuiThread() || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread()->loopLevel() == 0)
        return false;
    return question || mainWindowOnScreen();
}

void UnattendedPrompts::tell(const std::string& caption, const std::string& text) {
    // The entry first, so that it is written whatever becomes of the notification.
    client::writeProgramError(caption + ": " + text,
                              {client::LogFileName(), client::ErrorLogFileName()}, true);
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app)) return;
    const QString title = QString::fromStdString(caption);
    const QString body = QString::fromStdString(text);
    // Shown from the GUI thread; the worker goes on at once.
    queueCall(app, [title, body] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* tray = widget->findChild<TTrayIcon*>()) tray->notify(title, body);
    });
}

platform::PromptReply UnattendedPrompts::messageBox(platform::PromptOwner owner,
                                                    const std::string& text,
                                                    const std::string& caption,
                                                    platform::PromptButtons buttons,
                                                    platform::PromptIcon icon) {
    const bool question = buttons == platform::PromptButtons::YesNo ||
                          buttons == platform::PromptButtons::YesNoCancel;
    if (someoneThere(question)) return shown_.messageBox(owner, text, caption, buttons, icon);
    tell(caption, text + (question ? " (answered No)" : ""));
    return question ? platform::PromptReply::No : platform::PromptReply::Ok;
}

bool UnattendedPrompts::askYesNo(platform::PromptOwner owner, const std::string& text,
                                 const std::string& caption) {
    if (someoneThere(true)) return shown_.askYesNo(owner, text, caption);
    tell(caption, text + " (answered No)");
    return false;
}

bool UnattendedPrompts::askYesNoDefaultNo(platform::PromptOwner owner, const std::string& text,
                                          const std::string& caption) {
    if (someoneThere(true)) return shown_.askYesNoDefaultNo(owner, text, caption);
    tell(caption, text + " (answered No)");
    return false;
}

}  // namespace tvr::ui
