// The watch in the main window: the grid's watch cells, the tray's lag line and alert images
// and the status panel, as the worker's ticker shows them.
#include "WindowFixture.h"

#include <QTableWidget>

using namespace tvr;

namespace {

using WatchPanel = test::WindowFixture;

TEST_F(WatchPanel, TheLagAndItsAlertReachTheGridTheTrayAndTheStatusBarAndGoAwayAgain) {
    window->SetInfoRowCount(2);
    window->SetProcessState(engine::StateSleeping);
    engine::TWatchView view{"dump: ok",
                            "load: failed (4306)",
                            "good load 16:27:22",
                            "lag 00:16:02",
                            engine::AlertLevel::Warning,
                            false,
                            "Reserve behind by 00:16:02 (warning)"};
    window->ShowWatch(view);
    QApplication::processEvents();

    auto* grid = find<QTableWidget>("StringGridInfo");
    ASSERT_EQ(grid->columnCount(), 7);
    EXPECT_EQ(grid->item(0, 4)->text(), "dump: ok");
    EXPECT_EQ(grid->item(1, 4)->text(), "load: failed (4306)");
    EXPECT_EQ(grid->item(1, 5)->text(), "good load 16:27:22");
    EXPECT_EQ(grid->item(1, 6)->text(), "lag 00:16:02");
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

}  // namespace
