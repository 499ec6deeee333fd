// The Activity and ErrorLog views: loading a log file, the live lines, clearing, typing, the
// page change, and lines arriving from another thread.
#include "ReadOnlyFile.h"
#include "WindowFixture.h"

#include "client/LogWriter.h"
#include "client/TextLines.h"
#include "config/SettingsKeys.h"
#include "config/ViewSettings.h"
#include "ui/GuiThreadCalls.h"
#include "ui/LogFiles.h"
#include "ui/LogLines.h"

#include <QClipboard>
#include <QDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

#include <fstream>
#include <thread>

using namespace tvr;
using client::LogColour;
using client::LogLine;

namespace {

class LogViews : public tvr::testing::WindowFixture {
protected:
    void write(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    std::vector<LogLine> lines(const ui::TLogView* view) const {
        std::vector<LogLine> out;
        for (std::size_t i = 0; i < view->lineCount(); ++i) out.push_back(view->line(i));
        return out;
    }
    void fill(ui::TLogView* view, int count) {
        std::vector<LogLine> many;
        for (int i = 0; i < count; ++i) many.push_back({"line " + std::to_string(i)});
        view->appendLines(many);
    }
    std::string checkReadOnly = "\n                       Check attribute ReadOnly";
};

}  // namespace

TEST_F(LogViews, LoadingAFileColoursEachLineByItsOwnMarkers) {
    write(logFile(),
          "plain 12:00:01\r\n"
          "$Err$bad thing\r\n"
          "$Err$Error: Time: 12:00:02;  number 911\n"
          "$Mess$notice\r"
          "$Mess$Error: Time: 12:00:03;  number 2007\r\n"
          "$Mess$a$Err$b$Err$\r\n"
          "x$Mess$y$Mess$z\r\n"
          "$err$ and $MESS$ are not markers\r\n"
          "\r\n"
          "last without line end");
    activity()->appendLines({{"already there"}});
    client::setLogView(&window->activitySink());
    window->LoadLogFile(logFile());
    const std::vector<LogLine> expected{
        {"already there", LogColour::Default, false, false},
        {"plain 12:00:01", LogColour::Default, false, false},
        {"bad thing", LogColour::Red, true, false},
        {"Error: Time: 12:00:02;  number 911", LogColour::Red, true, true},
        {"notice", LogColour::Green, false, false},
        {"Error: Time: 12:00:03;  number 2007", LogColour::Green, false, true},
        {"$Mess$ab", LogColour::Red, true, false},
        {"xyz", LogColour::Green, false, false},
        {"$err$ and $MESS$ are not markers", LogColour::Default, false, false},
        {"", LogColour::Default, false, false},
        {"last without line end", LogColour::Default, false, false},
    };
    EXPECT_EQ(lines(activity()), expected);
    EXPECT_EQ(errors()->lineCount(), 0u);

    // Bound to the ErrorLog view, the next load goes there (as start-up loads the error log).
    client::setLogView(&window->errorSink());
    window->LoadLogFile(logFile());
    EXPECT_EQ(errors()->lineCount(), expected.size() - 1);
}

TEST_F(LogViews, ALiveEntryIsStyledWholeAndTheSameLinesLoadedAgainLineByLine) {
    window->BindLogViews();
    client::AppendToLog("$Err$query failed\nselect 1\r\n", logFile(), true);
    const std::vector<LogLine> live{{"query failed", LogColour::Red, true, false},
                                    {"select 1", LogColour::Red, true, false}};
    EXPECT_EQ(lines(activity()), live);

    activity()->clear();
    window->LoadLogFile(logFile());
    const std::vector<LogLine> loaded{{"query failed", LogColour::Red, true, false},
                                      {"select 1", LogColour::Default, false, false}};
    EXPECT_EQ(lines(activity()), loaded);
}

TEST_F(LogViews, AViewKeepsItsNewestLinesUnderANoteThatNamesTheFileOfTheOthers) {
    const std::string note = "Earlier lines are in " + logFile() + ".";
    activity()->setLineLimit(5);
    fill(activity(), 5);
    EXPECT_EQ(activity()->line(0).text, "line 0");
    fill(activity(), 7);  // lines 0 to 6 again, after the first five
    ASSERT_EQ(activity()->lineCount(), 6u);
    EXPECT_EQ(activity()->line(0), (LogLine{note}));
    EXPECT_EQ(activity()->line(1).text, "line 2");
    EXPECT_EQ(activity()->line(5).text, "line 6");
    EXPECT_TRUE(activity()->atEnd());
    EXPECT_EQ(activity()->caretLine(), 5u);
    fill(activity(), 1);
    EXPECT_EQ(activity()->lineCount(), 6u);
    EXPECT_EQ(activity()->line(0).text, note);
    EXPECT_EQ(activity()->line(1).text, "line 3");

    // A longer file shows its last lines within the limit, under the note; a file within the
    // limit shows whole. The ErrorLog view names its own file.
    std::string file;
    for (int i = 0; i < 12; ++i) file += "$Err$entry " + std::to_string(i) + "\r\n";
    write(errorLogFile(), file);
    errors()->setLineLimit(5);
    client::setLogView(&window->errorSink());
    window->LoadLogFile(errorLogFile());
    ASSERT_EQ(errors()->lineCount(), 6u);
    EXPECT_EQ(errors()->line(0).text, "Earlier lines are in " + errorLogFile() + ".");
    EXPECT_EQ(errors()->line(1), (LogLine{"entry 7", LogColour::Red, true, false}));
    EXPECT_EQ(errors()->line(5).text, "entry 11");
    errors()->clear();
    write(errorLogFile(), "a\r\nb\nc\rd\r\ne");
    window->LoadLogFile(errorLogFile());
    EXPECT_EQ(errors()->text(), "a\nb\nc\nd\ne");
}

TEST_F(LogViews, ALongerFileShowsExactlyItsLastLinesWhateverTheirLineEnds) {
    // The file is walked backwards from its end in blocks of 64 KiB: a CR LF split by the
    // edge of a block is one line end; a lone CR is one too.
    const std::string wide = std::string(65533, 'b') + "\r\n";
    const std::string acrossBlocks = "first\r\n" + std::string(10, 'a') + "\r\n" + wide;
    const struct Case {
        std::string file;
        std::size_t limit;
    } cases[] = {
        {"a\r\nb\nc\rd\r\ne", 1},
        {"a\r\nb\nc\rd\r\ne", 2},
        {"a\r\nb\nc\rd\r\ne", 3},
        {"a\r\nb\nc\rd\r\ne", 4},
        {"a\rb\r", 1},
        {"a\r\n\r\nb\r\n", 2},
        {"a\n\n\nb\n", 3},
        {acrossBlocks, 1},
        {acrossBlocks, 2},
    };
    client::setLogView(&window->errorSink());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 20) + " / " + std::to_string(c.limit));
        write(errorLogFile(), c.file);
        errors()->clear();
        errors()->setLineLimit(c.limit);
        window->LoadLogFile(errorLogFile());
        const std::vector<std::string> all = client::splitLines(c.file);
        std::vector<std::string> shown;
        for (std::size_t i = 1; i < errors()->lineCount(); ++i)
            shown.push_back(errors()->line(i).text);
        EXPECT_EQ(shown,
                  std::vector<std::string>(all.end() - static_cast<long>(c.limit), all.end()));
        EXPECT_EQ(errors()->line(0).text, "Earlier lines are in " + errorLogFile() + ".");
    }
}

TEST_F(LogViews, ALongLogShowsItsNewestLinesAtOnceAndTheOlderOnesAboveThemSoonAfter) {
    std::string file;
    for (int i = 0; i < 3000; ++i) file += "entry " + std::to_string(i) + "\r\n";
    write(logFile(), file);
    activity()->setLineLimit(2000);
    fill(activity(), 1);  // a line held before: the oldest, so the first to go
    client::setLogView(&window->activitySink());
    window->LoadLogFile(logFile());
    ASSERT_GE(activity()->lineCount(), 2u);
    EXPECT_EQ(activity()->line(activity()->lineCount() - 1).text, "entry 2999");
    EXPECT_TRUE(activity()->atEnd());
    QTRY_COMPARE_WITH_TIMEOUT(activity()->lineCount(), 2001u, 30000);
    EXPECT_EQ(activity()->line(0).text, "Earlier lines are in " + logFile() + ".");
    for (std::size_t i = 1; i <= 2000; ++i)
        ASSERT_EQ(activity()->line(i).text, "entry " + std::to_string(999 + i)) << i;
    EXPECT_TRUE(activity()->atEnd());
}

TEST_F(LogViews, TheLinesAViewKeepsComeFromTheSettingsOnceTheSettingsDialogCloses) {
    EXPECT_EQ(activity()->lineLimit(), config::kDefaultLogViewLines);
    const struct {
        const char* stored;
        std::size_t kept;
    } cases[] = {{"5000", 5000},
                 {"1", config::kFewestLogViewLines},
                 {"99999999999999999999999", config::kMostLogViewLines},
                 {"many", config::kDefaultLogViewLines},
                 {"", config::kDefaultLogViewLines}};
    for (const auto& c : cases) {
        // What a Save of the settings dialog leaves behind.
        window->setSettingsCommand([&] {
            platform::Registry().writeDefaultText(config::settingKeyPath("EditLogViewLines"),
                                                  c.stored);
        });
        action("N_Settings")->trigger();
        EXPECT_EQ(activity()->lineLimit(), c.kept) << c.stored;
        EXPECT_EQ(errors()->lineLimit(), c.kept) << c.stored;
    }
}

TEST_F(LogViews, AnAppendingThreadFindsItsLinesInTheViewWithoutWaitingForTheGuiThread) {
    window->BindLogViews();
    std::size_t seen = 0;
    // The GUI thread runs no events while it joins: the lines are in the views all the same.
    std::thread worker([&] {
        client::PrintToLog("first", logFile());
        CS_SERVERMSG message{};
        message.msgnumber = 911;
        message.severity = 16;
        client::WriteErrorRecord(message, errorLogFile(), true);
        seen = activity()->lineCount() + errors()->lineCount();
    });
    worker.join();
    EXPECT_EQ(seen, 1u + 2u * 2u);  // the entry, then the record's two lines in each view
    EXPECT_EQ(activity()->line(0).text, "first");
}

TEST_F(LogViews, AMissingFileEmptiesTheViewAndAnUnreadableOneIsAnError) {
    client::setLogView(&window->activitySink());
    fill(activity(), 3);
    window->LoadLogFile((dir / "missing.log").string());
    EXPECT_EQ(activity()->lineCount(), 0u);

    fill(activity(), 3);
    const std::string folder = (dir / "a folder.log").string();
    std::filesystem::create_directory(folder);
    try {
        window->LoadLogFile(folder);
        FAIL() << "no error";
    } catch (const ui::LogViewError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable open Log: " + folder + checkReadOnly);
    }
    EXPECT_EQ(activity()->lineCount(), 3u);
}

TEST_F(LogViews, ClearLogEmptiesTheViewAndTheFileAndMakesAMissingFile) {
    fill(activity(), 5);
    fill(errors(), 2);
    write(errorLogFile(), "kept\r\n");
    action("N1")->trigger();
    EXPECT_EQ(activity()->lineCount(), 0u);
    EXPECT_TRUE(std::filesystem::exists(logFile()));
    EXPECT_EQ(std::filesystem::file_size(logFile()), 0u);
    EXPECT_EQ(errors()->lineCount(), 2u);
    EXPECT_EQ(tvr::testing::fileText(errorLogFile()), "kept\r\n");

    write(logFile(), "back\r\n");
    fill(activity(), 1);
    action("MenuItem1")->trigger();  // "Clear Error Log" touches only its own view and file
    EXPECT_EQ(errors()->lineCount(), 0u);
    EXPECT_EQ(std::filesystem::file_size(errorLogFile()), 0u);
    EXPECT_EQ(activity()->lineCount(), 1u);
    EXPECT_EQ(tvr::testing::fileText(logFile()), "back\r\n");
    EXPECT_TRUE(prompts.calls().empty());
    EXPECT_EQ(find<QMenu>("PopupMenu1")->actions().value(0)->text(), "Clear Log");
    EXPECT_EQ(find<QMenu>("PopupMenu2")->actions().value(0)->text(), "Clear Error Log");
}

TEST_F(LogViews, ClearingAReadOnlyLogEmptiesTheViewKeepsTheFileAndSaysSo) {
    const tvr::testing::ReadOnlyFile readOnly(logFile(), "old entry\r\n");
    fill(activity(), 4);
    action("N1")->trigger();
    EXPECT_EQ(activity()->lineCount(), 0u);
    if (readOnly.holdsContent()) {
        EXPECT_EQ(tvr::testing::fileText(logFile()), "old entry\r\n");
    }
    const auto boxes = prompts.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unable open ErrorLog: " + logFile() + checkReadOnly + ".");
    EXPECT_EQ(boxes[0].caption, "Travenor(TVR)");
    EXPECT_EQ(boxes[0].icon, platform::PromptIcon::Error);
    EXPECT_EQ(boxes[0].buttons, platform::PromptButtons::Ok);
}

TEST_F(LogViews, TypedTextStaysInTheActivityViewAndNeverReachesTheFile) {
    window->BindLogViews();
    client::PrintToLog("from the server", logFile());
    activity()->setFocus();
    QTest::keyClick(activity(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(activity(), " note");
    QTest::keyClick(activity(), Qt::Key_Return);
    QTest::keyClicks(activity(), "mine");
    QTest::keyClick(activity(), Qt::Key_Backspace);
    EXPECT_EQ(activity()->text(), "from the server note\nmin");
    client::PrintToLog("next", logFile());
    EXPECT_EQ(activity()->text(), "from the server note\nmin\nnext");
    EXPECT_EQ(tvr::testing::fileText(logFile()), "from the server\r\nnext\r\n");
    action("N1")->trigger();
    EXPECT_EQ(activity()->text(), "");

    // The ErrorLog view takes no typing.
    fill(errors(), 1);
    QTest::keyClicks(errors(), "x");
    EXPECT_EQ(errors()->text(), "line 0");
}

TEST_F(LogViews, TheErrorLogTabScrollsToTheEndButTheViewMenuDoesNot) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 10000));
    fill(errors(), 2000);
    QTest::keyClick(errors(), Qt::Key_Home, Qt::ControlModifier);  // the user goes to the top
    ASSERT_EQ(errors()->verticalScrollBar()->value(), 0);
    auto* pages = find<QTabWidget>("PageControlDB");
    action("N_ErrorLog")->trigger();
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_EQ(errors()->verticalScrollBar()->value(), 0);

    action("N_Activity")->trigger();
    EXPECT_EQ(pages->currentIndex(), 0);
    QTabBar* tabs = pages->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    EXPECT_EQ(pages->currentIndex(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(errors()->atEnd(), 10000);
    EXPECT_GT(errors()->verticalScrollBar()->maximum(), 0);
    EXPECT_GE(errors()->firstVisibleLine(), 1900u);
}

TEST_F(LogViews, ShowingTheWindowScrollsTheActivityViewToItsEnd) {
    fill(activity(), 2000);
    // The user scrolls up with the scroll bar; the caret stays at the end of the text.
    ASSERT_TRUE(activity()->atEnd());
    activity()->verticalScrollBar()->setValue(0);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 10000));
    EXPECT_TRUE(activity()->atEnd());
    EXPECT_TRUE(activity()->hasFocus() || !QApplication::focusWidget());
}

TEST_F(LogViews, LinesFromAnotherThreadArriveInOrderWhileTheWindowIsHidden) {
    window->show();
    window->close();  // to the tray
    ASSERT_FALSE(window->isVisible());
    window->BindLogViews();
    constexpr int kEntries = 300;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < kEntries; ++i) {
            client::PrintToLog("$Err$entry " + std::to_string(i), logFile());
            CS_SERVERMSG message{};
            message.msgnumber = 911;
            message.severity = 16;
            std::snprintf(message.text, sizeof message.text, "record %d", i);
            client::WriteErrorRecord(message, errorLogFile(), true);
        }
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
    worker.join();
    ASSERT_EQ(activity()->lineCount(), std::size_t(kEntries) * 4);
    ASSERT_EQ(errors()->lineCount(), std::size_t(kEntries) * 3);
    for (int i = 0; i < kEntries; ++i) {
        EXPECT_EQ(activity()->line(std::size_t(i) * 4).text, "entry " + std::to_string(i));
        EXPECT_EQ(errors()->line(std::size_t(i) * 3 + 2).text, "record " + std::to_string(i));
    }
    window->show();
    EXPECT_TRUE(activity()->atEnd());
}

TEST(GuiThreadCalls, AWaitingCallerGoesOnOnlyOnceItsCallHasRunAndShutDownReleasesIt) {
    tvr::testing::application();
    QObject context;
    ui::TGuiThreadCalls calls(&context);
    std::vector<int> order;  // touched only by the GUI thread's calls
    bool seenByCaller = false;
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        for (int i = 0; i < 50; ++i) calls.post([&order, i] { order.push_back(i); });
        bool ran = false;
        calls.postAndWait([&] {
            order.push_back(50);
            ran = true;
        });
        seenByCaller = ran;
        returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned, 60000);
    caller.join();
    EXPECT_TRUE(seenByCaller);
    ASSERT_EQ(order.size(), 51u);
    for (int i = 0; i <= 50; ++i) EXPECT_EQ(order[std::size_t(i)], i);

    // Nobody runs the GUI's events here: a waiter is let go by shutDown.
    std::thread stuck([&] { calls.postAndWait([] {}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    calls.shutDown();
    stuck.join();
}

TEST_F(LogViews, TheActivityViewEditsAsATextViewDoes) {
    activity()->appendLines({{"alpha", LogColour::Red, true, false}, {"beta"}, {"gamma"}});
    activity()->setFocus();
    auto keys = [&](std::initializer_list<std::pair<int, Qt::KeyboardModifiers>> presses) {
        for (const auto& [key, modifiers] : presses)
            QTest::keyClick(activity(), Qt::Key(key), modifiers);
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier;
    keys({{Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_End, none}, {Qt::Key_Delete, none}});
    EXPECT_EQ(activity()->text(), "alphabeta\ngamma");  // Delete at a line's end joins lines
    keys({{Qt::Key_Left, shift}, {Qt::Key_Left, shift}});
    QTest::keyClicks(activity(), "X");  // typing replaces the selection
    EXPECT_EQ(activity()->text(), "alpXbeta\ngamma");
    keys({{Qt::Key_Down, none}, {Qt::Key_Home, none}, {Qt::Key_Backspace, none}});
    EXPECT_EQ(activity()->text(), "alpXbetagamma");
    QApplication::clipboard()->setText("one\ntwo");
    keys({{Qt::Key_V, Qt::ControlModifier}});
    EXPECT_EQ(activity()->text(), "alpXbetaone\ntwogamma");
    EXPECT_EQ(activity()->caretLine(), 1u);
    EXPECT_EQ(activity()->caretColumn(), 3);
    // A line split by typing keeps the style of the line it came from.
    EXPECT_EQ(activity()->line(1).colour, LogColour::Red);
    keys({{Qt::Key_Home, shift}, {Qt::Key_Up, shift}});
    keys({{Qt::Key_C, Qt::ControlModifier}});
    EXPECT_EQ(QApplication::clipboard()->text(), "alpXbetaone\ntwo");
}

TEST_F(LogViews, AReadOnlyActivityViewCopiesButNoKeyChangesItAndTheChoiceIsRemembered) {
    action("N_ReadOnlyLogs")->trigger();
    activity()->appendLines({{"alpha"}, {"beta"}});
    activity()->setFocus();
    QApplication::clipboard()->setText("pasted");
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_A, Qt::ControlModifier},
                                         {Qt::Key_X, Qt::NoModifier},
                                         {Qt::Key_Backspace, Qt::NoModifier},
                                         {Qt::Key_Delete, Qt::NoModifier},
                                         {Qt::Key_Return, Qt::NoModifier},
                                         {Qt::Key_V, Qt::ControlModifier},
                                         {Qt::Key_X, Qt::ControlModifier}})
        QTest::keyClick(activity(), key, modifiers);
    EXPECT_EQ(activity()->text(), "alpha\nbeta");
    QTest::keyClick(activity(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(activity(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "alpha\nbeta");

    // The next window reads the choice back; unticked, typing works again.
    window = std::make_unique<ui::TFormDumpLoad>();
    EXPECT_TRUE(action("N_ReadOnlyLogs")->isChecked());
    EXPECT_TRUE(activity()->isReadOnly());
    action("N_ReadOnlyLogs")->trigger();
    QTest::keyClicks(activity(), "x");
    EXPECT_EQ(activity()->text(), "x");
}

TEST(LogLines, AStoreThatKeepsItsNewestLinesStaysTheSameSizeHoweverManyCome) {
    ui::TLogLines lines;
    const std::string text(100, 'x');
    // 30 MB of lines come, 100 kB are kept at any time.
    for (int round = 0; round < 300; ++round) {
        for (int i = 0; i < 1000; ++i) lines.append({text + std::to_string(i)});
        lines.keepNewest(1000, "note");
        ASSERT_LE(lines.textBytes(), std::size_t{10} << 20) << round;
    }
    ASSERT_EQ(lines.count(), 1001u);
    EXPECT_EQ(lines.text(0), "note");
    EXPECT_EQ(lines.text(1000), text + "999");
}

TEST_F(LogViews, AViewAtItsLimitPaintsAndTakesKeysWhileAnotherThreadAppends) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 10000));
    activity()->setLineLimit(50);
    window->BindLogViews();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 3000; ++i) client::PrintToLog("line " + std::to_string(i), logFile());
        done = true;
    });
    while (!done) {
        activity()->viewport()->repaint();
        QTest::keyClick(activity(), Qt::Key_Up);
        QCoreApplication::processEvents();
    }
    worker.join();
    ASSERT_EQ(activity()->lineCount(), 51u);
    EXPECT_EQ(activity()->line(50).text, "line 2999");
}
