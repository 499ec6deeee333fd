#include "ui/QtPrompts.h"

#include "ui/QueuedCall.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

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

QMessageBox::StandardButton qtButton(PromptReply reply) {
    switch (reply) {
        case PromptReply::Ok:
            return QMessageBox::Ok;
        case PromptReply::Cancel:
            return QMessageBox::Cancel;
        case PromptReply::Yes:
            return QMessageBox::Yes;
        case PromptReply::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
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
                    PromptButtons buttons, PromptIcon icon,
                    std::optional<PromptReply> defaultButton) {
    const std::unique_ptr<QMessageBox> box =
        makeMessageBox(owner, text, caption, buttons, icon, defaultButton);
    box->exec();
    return replyFor(box->standardButton(box->clickedButton()), buttons);
}

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(PromptOwner owner, const std::string& text,
                                            const std::string& caption, PromptButtons buttons,
                                            PromptIcon icon,
                                            std::optional<PromptReply> defaultButton) {
    auto box = std::make_unique<QMessageBox>(static_cast<QWidget*>(owner));
    box->setWindowTitle(QString::fromStdString(caption));
    box->setText(QString::fromStdString(text));
    box->setTextFormat(Qt::PlainText);
    box->setIcon(qtIcon(icon));
    box->setStandardButtons(qtButtons(buttons));
    box->setDefaultButton(defaultButton ? qtButton(*defaultButton) : firstButton(buttons));
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

struct QtPrompts::Shared {
    std::mutex mutex;
    std::condition_variable answered;
    bool released = false;
    std::vector<QPointer<QMessageBox>> shownForOthers;  // boxes another thread waits on
};

namespace {

// One box asked for by another thread; shared with the call queued on the GUI thread, which
// may run after the asking thread has given up waiting.
struct BoxRequest {
    bool done = false;
    PromptReply reply = PromptReply::Cancel;
};

}  // namespace

QtPrompts::QtPrompts() : shared_(std::make_shared<Shared>()) {}

QtPrompts::~QtPrompts() { releaseWaiters(); }

PromptReply QtPrompts::messageBox(PromptOwner owner, const std::string& text,
                                  const std::string& caption, PromptButtons buttons,
                                  PromptIcon icon) {
    return ask(owner, text, caption, buttons, icon, std::nullopt);
}

PromptReply QtPrompts::ask(PromptOwner owner, const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon icon,
                           std::optional<PromptReply> defaultButton) {
    if (!haveGui()) return withoutGui(text, caption, buttons);
    if (onGuiThread()) return showBox(owner, text, caption, buttons, icon, defaultButton);
    std::shared_ptr<Shared> shared = shared_;
    auto request = std::make_shared<BoxRequest>();
    {
        std::lock_guard lock(shared->mutex);
        if (shared->released) return withoutGui(text, caption, buttons);
    }
    queueCall(QCoreApplication::instance(), [=] {
        const std::unique_ptr<QMessageBox> box =
            makeMessageBox(owner, text, caption, buttons, icon, defaultButton);
        {
            std::lock_guard lock(shared->mutex);
            if (shared->released || request->done) return;
            shared->shownForOthers.emplace_back(box.get());
        }
        box->exec();
        const PromptReply reply = replyFor(box->standardButton(box->clickedButton()), buttons);
        {
            std::lock_guard lock(shared->mutex);
            std::erase(shared->shownForOthers, QPointer<QMessageBox>(box.get()));
            if (!request->done) request->reply = reply;
            request->done = true;
        }
        shared->answered.notify_all();
    });
    std::unique_lock lock(shared->mutex);
    shared->answered.wait(lock, [&] { return request->done || shared->released; });
    // Once released the answer is the default, whether or not the closed box got to say more.
    if (request->done && !shared->released) return request->reply;
    request->done = true;  // the queued call, should it still run, shows nothing
    lock.unlock();
    return withoutGui(text, caption, buttons);
}

void QtPrompts::releaseWaiters() {
    std::vector<QPointer<QMessageBox>> shown;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->released = true;
        shown = shared_->shownForOthers;
    }
    shared_->answered.notify_all();
    if (!haveGui() || !onGuiThread()) return;
    for (const QPointer<QMessageBox>& box : shown)
        if (box) box->reject();
}

bool QtPrompts::askYesNo(PromptOwner owner, const std::string& text, const std::string& caption) {
    return messageBox(owner, text, caption, PromptButtons::YesNo, PromptIcon::None) ==
           PromptReply::Yes;
}

bool QtPrompts::askYesNoDefaultNo(PromptOwner owner, const std::string& text,
                                  const std::string& caption) {
    return ask(owner, text, caption, PromptButtons::YesNo, PromptIcon::None, PromptReply::No) ==
           PromptReply::Yes;
}

void QtPrompts::beep() {
    if (!haveGui()) return;
    if (onGuiThread()) {
        QApplication::beep();
        return;
    }
    queueCall(QCoreApplication::instance(), [] { QApplication::beep(); });
}

}  // namespace tvr::ui
