#include "ui/QtPrompts.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>

#include <cstdio>

namespace tvr::ui {

using platform::PromptButtons;
using platform::PromptIcon;
using platform::PromptOwner;
using platform::PromptReply;
namespace {

QMessageBox::StandardButtons qtButtons(PromptButtons b) {
    switch (b) {
        case PromptButtons::Ok:
            return QMessageBox::Ok;
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton firstButton(PromptButtons b) {
    return b == PromptButtons::Ok || b == PromptButtons::OkCancel ? QMessageBox::Ok
                                                                  : QMessageBox::Yes;
}

QMessageBox::Icon qtIcon(PromptIcon i) {
    switch (i) {
        case PromptIcon::None:
            return QMessageBox::NoIcon;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

bool haveGui() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

bool onGuiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

PromptReply withoutGui(const std::string& text, const std::string& caption, PromptButtons buttons) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
               ? PromptReply::No
               : PromptReply::Ok;
}

PromptReply showBox(PromptOwner owner, const std::string& text, const std::string& caption,
                    PromptButtons buttons, PromptIcon icon) {
    const std::unique_ptr<QMessageBox> box = makeMessageBox(owner, text, caption, buttons, icon);
    box->exec();
    return replyFor(box->standardButton(box->clickedButton()), buttons);
}

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(PromptOwner owner, const std::string& text,
                                            const std::string& caption, PromptButtons buttons,
                                            PromptIcon icon) {
    auto box = std::make_unique<QMessageBox>(static_cast<QWidget*>(owner));
    box->setWindowTitle(QString::fromStdString(caption));
    box->setText(QString::fromStdString(text));
    box->setTextFormat(Qt::PlainText);
    box->setIcon(qtIcon(icon));
    box->setStandardButtons(qtButtons(buttons));
    box->setDefaultButton(firstButton(buttons));
    if (buttons == PromptButtons::OkCancel || buttons == PromptButtons::YesNoCancel)
        box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

PromptReply replyFor(int clickedButton, PromptButtons buttons) {
    switch (clickedButton) {
        case QMessageBox::Ok:
            return PromptReply::Ok;
        case QMessageBox::Cancel:
            return PromptReply::Cancel;
        case QMessageBox::Yes:
            return PromptReply::Yes;
        case QMessageBox::No:
            return PromptReply::No;
        default:
            break;
    }
    if (buttons == PromptButtons::Ok) return PromptReply::Ok;
    return buttons == PromptButtons::YesNo ? PromptReply::No : PromptReply::Cancel;
}

PromptReply QtPrompts::messageBox(PromptOwner owner, const std::string& text,
                                  const std::string& caption, PromptButtons buttons,
                                  PromptIcon icon) {
    if (!haveGui()) return withoutGui(text, caption, buttons);
    if (onGuiThread()) return showBox(owner, text, caption, buttons, icon);
    PromptReply reply = PromptReply::Cancel;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { reply = showBox(owner, text, caption, buttons, icon); },
        Qt::BlockingQueuedConnection);
    return reply;
}

bool QtPrompts::askYesNo(PromptOwner owner, const std::string& text, const std::string& caption) {
    return messageBox(owner, text, caption, PromptButtons::YesNo, PromptIcon::None) ==
           PromptReply::Yes;
}

void QtPrompts::beep() {
    if (!haveGui()) return;
    if (onGuiThread()) {
        QApplication::beep();
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QApplication::beep(); }, Qt::QueuedConnection);
}

}  // namespace tvr::ui
