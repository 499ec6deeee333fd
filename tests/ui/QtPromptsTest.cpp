#include "ui/QtPrompts.h"
#include "ui/UnattendedPrompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace tvr::platform;
using namespace tvr::ui;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "ui_prompts_tests";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

// Presses `button` on the next message box that comes up, and remembers what it showed.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton button) : button_(button) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            title_ = box->windowTitle();
            text_ = box->text();
            icon_ = box->icon();
            buttons_ = box->standardButtons();
            default_ = box->standardButton(box->defaultButton());
            shownOnGuiThread_ = box->thread() == QCoreApplication::instance()->thread();
            timer_.stop();
            box->button(button_)->click();
        });
        timer_.start();
    }
    QString title_, text_;
    QMessageBox::Icon icon_ = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons_;
    QMessageBox::StandardButton default_ = QMessageBox::NoButton;
    bool shownOnGuiThread_ = false;

private:
    QMessageBox::StandardButton button_;
    QTimer timer_;
};

}  // namespace

TEST(QtPrompts, BoxesCarryTheCaptionTextButtonsAndIconAskedFor) {
    app();
    const struct {
        PromptButtons buttons;
        QMessageBox::StandardButtons expected;
        QMessageBox::StandardButton defaultButton;
    } sets[] = {
        {PromptButtons::Ok, QMessageBox::Ok, QMessageBox::Ok},
        {PromptButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok},
        {PromptButtons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {PromptButtons::YesNoCancel, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Yes},
    };
    const struct {
        PromptIcon icon;
        QMessageBox::Icon expected;
    } icons[] = {{PromptIcon::None, QMessageBox::NoIcon},
                 {PromptIcon::Error, QMessageBox::Critical},
                 {PromptIcon::Warning, QMessageBox::Warning},
                 {PromptIcon::Information, QMessageBox::Information},
                 {PromptIcon::Question, QMessageBox::Question}};
    for (const auto& s : sets) {
        for (const auto& i : icons) {
            const auto box = makeMessageBox(nullptr, "Unable establish connection <b>&amp;</b>",
                                            "Error", s.buttons, i.icon);
            EXPECT_EQ(box->windowTitle(), "Error");
            EXPECT_EQ(box->text(), "Unable establish connection <b>&amp;</b>");
            EXPECT_EQ(box->textFormat(), Qt::PlainText);  // shown as written, never as markup
            EXPECT_EQ(box->standardButtons(), s.expected);
            EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()),
                      box->button(s.defaultButton));
            EXPECT_EQ(box->icon(), i.expected);
        }
    }
}

TEST(QtPrompts, TheButtonPressedIsTheReply) {
    app();
    QtPrompts prompts;
    {
        BoxAnswerer answer(QMessageBox::No);
        EXPECT_EQ(prompts.messageBox(nullptr, "Stop process?", "Message",
                                     PromptButtons::YesNoCancel, PromptIcon::None),
                  PromptReply::No);
        EXPECT_EQ(answer.title_, "Message");
        EXPECT_EQ(answer.text_, "Stop process?");
    }
    {
        BoxAnswerer answer(QMessageBox::Cancel);
        EXPECT_EQ(
            prompts.messageBox(nullptr, "x", "Message", PromptButtons::OkCancel, PromptIcon::None),
            PromptReply::Cancel);
    }
    {
        BoxAnswerer answer(QMessageBox::Yes);
        EXPECT_TRUE(prompts.askYesNo(nullptr, "Stop process and exit?", "Message"));
        EXPECT_EQ(answer.text_, "Stop process and exit?");
        EXPECT_EQ(answer.title_, "Message");
        // A question is a plain Yes/No box: no icon, no Cancel.
        EXPECT_EQ(answer.buttons_, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(answer.icon_, QMessageBox::NoIcon);
        EXPECT_EQ(answer.default_, QMessageBox::Yes);
    }
    {
        // The same question whose Enter answers No.
        BoxAnswerer answer(QMessageBox::Yes);
        EXPECT_TRUE(prompts.askYesNoDefaultNo(nullptr, "Re-seed the reserve?", "Message"));
        EXPECT_EQ(answer.buttons_, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(answer.default_, QMessageBox::No);
    }
    {
        BoxAnswerer answer(QMessageBox::Ok);
        // UTF-8 texts reach the box intact.
        EXPECT_EQ(
            prompts.messageBox(nullptr, "Ошибка ü", "Error", PromptButtons::Ok, PromptIcon::Error),
            PromptReply::Ok);
        EXPECT_EQ(answer.text_, QString::fromUtf8("Ошибка ü"));
        EXPECT_EQ(answer.icon_, QMessageBox::Critical);
    }
    // Closed without a button: Cancel where there is one, else No for a question.
    EXPECT_EQ(replyFor(QMessageBox::NoButton, PromptButtons::YesNo), PromptReply::No);
    EXPECT_EQ(replyFor(QMessageBox::NoButton, PromptButtons::YesNoCancel), PromptReply::Cancel);
    EXPECT_EQ(replyFor(QMessageBox::NoButton, PromptButtons::Ok), PromptReply::Ok);
}

TEST(QtPrompts, ABoxAskedForFromAnotherThreadIsShownOnTheGuiThread) {
    app();
    QtPrompts prompts;
    BoxAnswerer answer(QMessageBox::Yes);
    std::atomic<bool> done{false};
    std::atomic<bool> yes{false};
    std::thread worker([&] {
        yes = prompts.askYesNo(nullptr, "from the worker", "Message");
        prompts.beep();
        done = true;
    });
    for (int i = 0; i < 6000 && !done; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker.join();
    EXPECT_TRUE(yes);
    EXPECT_EQ(answer.text_, "from the worker");
    EXPECT_TRUE(answer.shownOnGuiThread_);
}

TEST(QtPrompts, ReleasingWaitersAnswersABoxAnotherThreadWaitsOnAndTheBoxesAfterIt) {
    // As when the window goes away while the worker waits for "Unable save message(print)":
    // the box is open on the GUI thread, nobody will press a button.
    app();
    QtPrompts prompts;
    std::atomic<bool> done{false};
    PromptReply first = PromptReply::Yes;
    PromptReply later = PromptReply::Yes;
    std::thread worker([&] {
        first = prompts.messageBox(nullptr, "Unable save message(print)", "Error",
                                   PromptButtons::OkCancel, PromptIcon::Error);
        later =
            prompts.messageBox(nullptr, "after", "Message", PromptButtons::YesNo, PromptIcon::None);
        done = true;
    });
    // Runs inside the box's own loop once the box is up and the worker waits on it.
    QTimer release;
    release.setInterval(10);
    QObject::connect(&release, &QTimer::timeout, [&] {
        if (!QApplication::activeModalWidget()) return;
        release.stop();
        prompts.releaseWaiters();
    });
    release.start();
    for (int i = 0; i < 6000 && !done; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker.join();
    EXPECT_EQ(first, PromptReply::Ok);  // the default answer, as without a GUI
    EXPECT_EQ(later, PromptReply::No);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// An unattended start's boxes: before the event loop, or from another thread, nothing is shown
// and the default answer comes at once; inside the event loop a question is shown as always.
TEST(UnattendedPrompts, OnlyAQuestionAskedInsideTheEventLoopIsShown) {
    app();
    QtPrompts shown;
    UnattendedPrompts prompts(shown);
    EXPECT_EQ(prompts.messageBox(nullptr, "Unable establish connection", "Error", PromptButtons::Ok,
                                 PromptIcon::None),
              PromptReply::Ok);
    EXPECT_FALSE(prompts.askYesNo(nullptr, "Stop process?", "Message"));
    std::atomic<bool> fromWorker{true};
    std::thread worker([&] { fromWorker = prompts.askYesNo(nullptr, "Go on?", "Message"); });
    worker.join();
    EXPECT_FALSE(fromWorker);

    BoxAnswerer yes(QMessageBox::Yes);
    bool answer = false;
    QTimer::singleShot(0, [&] {
        answer = prompts.askYesNo(nullptr, "Stop process and exit?", "Message");
        QApplication::quit();
    });
    QApplication::exec();
    EXPECT_TRUE(answer);
    EXPECT_EQ(yes.text_, "Stop process and exit?");
}
