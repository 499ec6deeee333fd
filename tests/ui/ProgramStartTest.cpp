#include "tests/support/RecordingPrompts.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"
#include "ui/ProgramStart.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <cstdlib>

using namespace tvr::platform;
using tvr::ui::ProgramStart;
using Outcome = tvr::ui::ProgramStart::Outcome;

namespace {

// Kept until the process ends and never destroyed: after a window has been shown, a
// QApplication torn down among the exit handlers would outlive Qt's own statics.
QApplication& app() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

class ProgramStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        env.set("SYBASE", "/opt/sybase");
    }

    tvr::test::ScopedEnvironment env;
    tvr::test::TempFolder dir;
    std::filesystem::path guard = dir / "DumpLoadDBSync";
    RecordingPrompts prompts;
};

}  // namespace

TEST_F(ProgramStartTest, WithOpenClientTheMainWindowIsReadyAndShownByTheEventLoop) {
    ProgramStart start(guard);
    ASSERT_EQ(start.begin(), Outcome::Ready);
    EXPECT_TRUE(prompts.calls().empty());
    ASSERT_NE(start.mainWindow(), nullptr);
    EXPECT_EQ(start.mainWindow()->windowTitle(), "Travenor(TVR)");
    EXPECT_EQ(QCoreApplication::applicationName(), "Travenor(TVR)");
    EXPECT_FALSE(start.mainWindow()->isVisible());  // not before the event loop
    EXPECT_EQ(InstanceGuard(guard).state(), InstanceGuard::State::HeldElsewhere);

    bool shownInLoop = false;
    QTimer::singleShot(0, [&] {
        shownInLoop = start.mainWindow()->isVisible();
        QCoreApplication::quit();
    });
    EXPECT_EQ(start.run(), 0);
    EXPECT_TRUE(shownInLoop);
}

TEST_F(ProgramStartTest, WithoutSybaseTheUserIsToldAndTheWindowIsNeverShown) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(value ? "empty SYBASE" : "no SYBASE");
        prompts.clear();
        if (value)
            env.set("SYBASE", value);
        else
            env.unset("SYBASE");
        {
            ProgramStart start(guard);
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
        }
        // The guard went with the program.
        EXPECT_TRUE(InstanceGuard(guard).held());
    }
}

TEST_F(ProgramStartTest, ASecondInstanceEndsAtOnceSilentlyAndLeavesTheFirstAlone) {
    env.unset("SYBASE");  // a second instance must not even get as far as this check
    const InstanceGuard running(guard);
    ASSERT_TRUE(running.held());
    {
        ProgramStart second(guard);
        EXPECT_EQ(second.begin(), Outcome::AnotherInstanceRuns);
        EXPECT_EQ(second.mainWindow(), nullptr);
    }
    EXPECT_TRUE(prompts.calls().empty());
    // The first instance still holds its guard after the second has gone.
    EXPECT_TRUE(running.held());
    EXPECT_EQ(InstanceGuard(guard).state(), InstanceGuard::State::HeldElsewhere);
}

TEST_F(ProgramStartTest, AGuardThatCannotBeHadDoesNotKeepTheProgramFromRunning) {
    std::filesystem::create_symlink(dir / "elsewhere", guard);  // refused: never followed
    ProgramStart start(guard);
    EXPECT_EQ(start.begin(), Outcome::Ready);
    EXPECT_TRUE(prompts.calls().empty());
}
