// The watch in the main window: the grid's watch cells, the tray's lag line and alert images
// and the status panel, as the worker's ticker shows them.
#include "WindowFixture.h"

#include "client/LogWriter.h"

#include <QHeaderView>
#include <QTableWidget>

#include <filesystem>

using namespace tvr;

namespace {

using WatchPanel = tvr::testing::WindowFixture;

TEST_F(WatchPanel, TheLagAndItsAlertReachTheGridTheTrayAndTheStatusBarAndGoAwayAgain) {
    window->SetInfoRowCount(2);
    window->SetProcessState(engine::StateSleeping);
    engine::TWatchView view{"dump: ok",
                            "load: failed (4306)",
                            "good load 16:27:22",
                            "lag 00:16:02",
                            engine::AlertLevel::Warning,
                            false,
                            "Reserve behind by 00:16:02 (warning)",
                            "",
                            std::nullopt};
    window->ShowWatch(view);
    QApplication::processEvents();

    auto* grid = find<QTableWidget>("StringGridInfo");
    ASSERT_EQ(grid->columnCount(), 6);
    EXPECT_EQ(grid->item(0, 4)->text(), "dump: ok");
    EXPECT_EQ(grid->item(1, 4)->text(), "load: failed (4306)");
    // The lag cell says its level in words and in the warning colour.
    EXPECT_EQ(grid->item(0, 5)->text(), "lag 00:16:02 (warning)");
    EXPECT_NE(grid->item(0, 5)->foreground().color(), QColor(Qt::black));
    EXPECT_EQ(grid->item(1, 5)->text(), "good load 16:27:22");
    auto* tray = window->tray();
    EXPECT_EQ(tray->hint(), "Travenor\r\nSleeping...\r\nlag 00:16:02 warning");
    EXPECT_EQ(tray->alertLevel(), 1);
    EXPECT_EQ(find<QLabel>("PanelWatch")->text(), "Reserve behind by 00:16:02 (warning)");

    // A state change keeps the lag line; a lag back below the thresholds gives the state's
    // image back.
    window->SetProcessState(engine::StateProcessing);
    view.level = engine::AlertLevel::None;
    view.alert.clear();
    view.lag = "lag 00:00:03";
    window->ShowWatch(view);
    QApplication::processEvents();
    EXPECT_EQ(tray->hint(), "Travenor\r\nProcessing...\r\nlag 00:00:03");
    EXPECT_EQ(tray->alertLevel(), 0);
    EXPECT_EQ(tray->imageIndex(), engine::StateProcessing);
    EXPECT_EQ(find<QLabel>("PanelWatch")->text(), "");
}

TEST_F(WatchPanel, ABrokenChainIsNamedOnTheStepsCellsTheTrayAndTheStatusBarAsCritical) {
    window->SetInfoRowCount(2);
    window->SetProcessState(engine::StateSleeping);
    const std::string reason = "4305: the dump does not follow the last one loaded";
    const std::string alert = "Log chain broken: " + reason + " (critical)";
    window->ShowWatch({"dump: ok", "load: failed (4305)", "good load 16:27:22", "lag 00:01:02",
                       engine::AlertLevel::Critical, false, alert, reason, std::nullopt});
    QApplication::processEvents();

    auto* grid = find<QTableWidget>("StringGridInfo");
    EXPECT_EQ(grid->item(1, 4)->toolTip().toStdString(), alert);
    EXPECT_EQ(grid->item(1, 4)->foreground().color(), QColor(0xc0, 0x00, 0x00));
    EXPECT_EQ(window->tray()->hint(), "Travenor\r\nSleeping...\r\nlag 00:01:02 chain broken");
    EXPECT_EQ(window->tray()->alertLevel(), 2);
    EXPECT_EQ(find<QLabel>("PanelWatch")->text().toStdString(), alert);

    // Mended: the cells lose their colour and tooltip.
    window->ShowWatch({"dump: ok", "load: ok", "good load 16:28:00", "lag 00:00:04",
                       engine::AlertLevel::None, false, "", "", std::nullopt});
    QApplication::processEvents();
    EXPECT_EQ(grid->item(1, 4)->toolTip(), "");
    EXPECT_EQ(grid->item(1, 4)->foreground().style(), Qt::NoBrush);
    EXPECT_EQ(window->tray()->alertLevel(), 0);
}

TEST_F(WatchPanel, TheWatchColumnsFitTheWindowAtItsDefaultSizeAndGrowWithLongerTexts) {
    const struct Case {
        int rows;
        std::string mainOutcome, reserveOutcome, lastGood, lag;
    } cases[] = {
        {2, "dump: ok", "load: ok", "good load 16:27:22", "lag 00:00:41"},
        {2, "dump: failed (connection lost)", "load: not reached", "no good load yet",
         "lag 12 d 03:16:02"},
        {1, "dump: failed (4221)", "", "good dump 16:27:22", "lag 00:16:02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mainOutcome);
        window = std::make_unique<ui::TFormDumpLoad>();
        window->show();
        window->SetInfoRowCount(c.rows);
        window->SetInfoRow(0, {"Main server", "TVRMAIN", "sales", "/var/lib/dumps/sales"});
        if (c.rows == 2)
            window->SetInfoRow(1, {"Reserve server", "TVRRESERVE", "sales_copy", "/srv/loads"});
        // A short text first, then the case's: the columns follow the longer one.
        window->ShowWatch({"dump: ok", "load: ok", "good load 16:27:22", "lag 00:00:00",
                           engine::AlertLevel::None, false, "", "", std::nullopt});
        window->ShowWatch({c.mainOutcome, c.reserveOutcome, c.lastGood, c.lag,
                           engine::AlertLevel::None, false, "", "", std::nullopt});
        QApplication::processEvents();

        auto* grid = find<QTableWidget>("StringGridInfo");
        const QFontMetrics metrics(grid->font());
        int used = 0;
        for (int column = 0; column < grid->columnCount(); ++column)
            used += grid->columnWidth(column);
        EXPECT_LE(used, grid->viewport()->width());
        EXPECT_GE(grid->columnWidth(3), grid->horizontalHeader()->defaultSectionSize());
        for (int row = 0; row < c.rows; ++row) {
            for (int column = 4; column < grid->columnCount(); ++column) {
                const QString text = grid->item(row, column)->text();
                EXPECT_GT(grid->columnWidth(column), metrics.horizontalAdvance(text))
                    << text.toStdString();
            }
        }
        const QString lastGood = QString::fromStdString(c.lastGood);
        if (c.rows == 2) {
            EXPECT_EQ(grid->item(1, 5)->text(), lastGood);
        }
        EXPECT_EQ(grid->item(0, 5)->toolTip(), lastGood);
    }
}

}  // namespace

namespace {

// At each level, in turn: the lag cell says the level in words, the tray shows its state and
// tells the change, and the status panel has room for the whole alert.
TEST_F(WatchPanel, EachLevelShowsInTheLagCellTheTrayAndANotification) {
    window->SetInfoRowCount(2);
    const struct {
        engine::AlertLevel level;
        const char* words;
        std::string alert;
    } cases[] = {
        {engine::AlertLevel::Warning, " (warning)", "Reserve behind by 00:16:02 (warning)"},
        {engine::AlertLevel::Critical, " (critical)", "Reserve behind by 01:00:02 (critical)"},
        {engine::AlertLevel::None, "", ""},
    };
    auto* grid = find<QTableWidget>("StringGridInfo");
    auto* panel = find<QLabel>("PanelWatch");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        window->ShowWatch({"dump: ok", "load: ok", "good load 16:27:22", "lag 00:16:02", c.level,
                           false, c.alert, "", std::nullopt});
        QApplication::processEvents();
        EXPECT_EQ(grid->item(0, 5)->text().toStdString(), std::string("lag 00:16:02") + c.words);
        EXPECT_EQ(window->tray()->alertLevel(), static_cast<int>(c.level));
        EXPECT_NE(window->tray()->lastNotification().toStdString().find(
                      c.alert.empty() ? "caught up" : c.alert),
                  std::string::npos);
        EXPECT_GE(panel->minimumWidth(), panel->fontMetrics().horizontalAdvance(panel->text()));
        EXPECT_EQ(panel->toolTip().toStdString(), c.alert);
    }
}

// Once the ticks stop (processing stopped, or a new start that has not run yet), the lag goes
// on counting from the dump of the last good load.
TEST_F(WatchPanel, TheLagGoesOnCountingWithoutTicks) {
    window->SetInfoRowCount(2);
    engine::TWatchView view{"dump: ok",
                            "load: ok",
                            "good load 16:27:22",
                            "lag 00:01:40",
                            engine::AlertLevel::None,
                            false,
                            "",
                            "",
                            engine::WatchClock::now() - std::chrono::seconds(100)};
    window->ShowWatch(view);
    auto* grid = find<QTableWidget>("StringGridInfo");
    QTRY_VERIFY_WITH_TIMEOUT(grid->item(0, 5) && grid->item(0, 5)->text() > "lag 00:01:42", 20000);
}

}  // namespace

namespace {

// A log file that stops taking entries is named in the status panel and told by the tray
// until it takes them again.
TEST_F(WatchPanel, ALogThatCannotBeWrittenIsNamedInTheStatusPanelWhileItLasts) {
    const tvr::testing::TempFolder folder;
    const std::string log = (folder / "act.log").string();
    std::filesystem::create_directory(log);
    EXPECT_THROW(client::AppendToLog("kept\r\n", log, false), client::LogFileError);
    auto* panel = find<QLabel>("PanelWatch");
    QTRY_VERIFY_WITH_TIMEOUT(
        panel->text().contains("cannot write the log " + QString::fromStdString(log)), 10000);
    EXPECT_TRUE(window->tray()->lastNotification().contains("cannot write"));
    std::filesystem::remove(log);
    client::AppendToLog("", log, false);
    QTRY_VERIFY_WITH_TIMEOUT(panel->text().isEmpty(), 10000);
}

}  // namespace
